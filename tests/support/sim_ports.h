// The assistant's ports on a simulated desktop loaded from a scenario, with the real Linux
// image and audio conversion ports beside it, and the real text recognition unless a test
// brings its own.
#pragma once

#include <memory>
#include <string_view>

#include "platform/linux/png_images.h"
#include "platform/linux/soxr_conversion.h"
#include "platform/linux/tesseract_recognition.h"
#include "platform/ports.h"
#include "platform/sim/sim_desktop.h"

namespace lumora::test_support {

struct SimPorts {
    explicit SimPorts(std::string_view scenario,
                      platform::TextRecognition* textRecognition = nullptr)
        : desktop(sim::SimDesktop::load(scenario)),
          ports(desktop->ports(textRecognition ? *textRecognition : recognition, images,
                               audioConversion)) {}

    std::unique_ptr<sim::SimDesktop> desktop;
    platform::PngImages images;
    platform::TesseractRecognition recognition;
    platform::SoxrConversion audioConversion;
    platform::Ports ports;
};

}  // namespace lumora::test_support
