// Stand-ins for the reader host's services in tests: a system with a chosen home and
// environment, a recogniser with scripted lines, and an image port that counts decodings.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/images.h"
#include "platform/linux/png_images.h"
#include "platform/system.h"
#include "reader-host/page_recognizer.h"

namespace lumora::ReaderHost::testing {

class FakeSystem final : public platform::System {
  public:
    std::string home = "/nonexistent";
    std::map<std::string, std::string> variables;

    platform::OsVersion osVersion() override { return {}; }
    std::optional<std::string> environment(const std::string& name) override {
        const auto found = variables.find(name);
        if (found == variables.end()) return std::nullopt;
        return found->second;
    }
    std::string homeDirectory() override { return home; }
    std::string temporaryDirectory() override { return "/tmp"; }
    double uptime() override { return 0; }
    std::string currentLocale() override { return "en_US"; }
    void log(const std::string&, const std::string&, platform::LogLevel,
             const std::string&) override {}
};

class ScriptedRecognizer final : public PageRecognizer {
  public:
    std::vector<ScreenText::Line> lines;
    std::vector<platform::Image> seen;

    std::vector<ScreenText::Line> recognizeLines(platform::Image image) override {
        seen.push_back(std::move(image));
        return lines;
    }
};

// Real PNG handling that remembers whether any pixel was decoded.
class CountingImages final : public platform::Images {
  public:
    int decodes = 0;

    std::optional<platform::ImageProperties> properties(std::string_view encoded) override {
        return png.properties(encoded);
    }
    std::optional<platform::Image> decode(std::string_view encoded) override {
        ++decodes;
        return png.decode(encoded);
    }
    std::optional<platform::Image> decodeCrop(std::string_view encoded,
                                              platform::PixelRect rect) override {
        ++decodes;
        return png.decodeCrop(encoded, rect);
    }
    std::optional<std::string> encodePng(const platform::Image& image) override {
        return png.encodePng(image);
    }

  private:
    platform::PngImages png;
};

// A scratch directory removed with the object.
class TemporaryDirectory {
  public:
    TemporaryDirectory();
    ~TemporaryDirectory();
    TemporaryDirectory(const TemporaryDirectory&) = delete;
    TemporaryDirectory& operator=(const TemporaryDirectory&) = delete;
    const std::string& path() const { return path_; }

  private:
    std::string path_;
};

// Writes `contents` to `path`, creating missing parent directories.
void writeFile(const std::string& path, const std::string& contents);

}  // namespace lumora::ReaderHost::testing
