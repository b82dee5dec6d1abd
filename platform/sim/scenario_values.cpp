#include "platform/sim/scenario_values.h"

#include <cstdint>
#include <limits>

namespace lumora::sim {

namespace {

constexpr std::int64_t maxInt = std::numeric_limits<int>::max();
constexpr std::int64_t maxLong = std::numeric_limits<long>::max();
// A fill has to fit in memory many times over; 16384 a side covers any display.
constexpr std::int64_t maxFillSide = 16384;

std::optional<std::array<std::uint8_t, 4>> parseColour(const std::string& text) {
    if ((text.size() != 7 && text.size() != 9) || text[0] != '#') return std::nullopt;
    std::array<std::uint8_t, 4> rgba{0, 0, 0, 255};
    for (std::size_t channel = 0; channel * 2 + 1 < text.size(); ++channel) {
        std::uint8_t value = 0;
        for (char digit : text.substr(channel * 2 + 1, 2)) {
            int nibble = digit >= '0' && digit <= '9'   ? digit - '0'
                         : digit >= 'a' && digit <= 'f' ? digit - 'a' + 10
                         : digit >= 'A' && digit <= 'F' ? digit - 'A' + 10
                                                        : -1;
            if (nibble < 0) return std::nullopt;
            value = static_cast<std::uint8_t>(value * 16 + nibble);
        }
        rgba[channel] = value;
    }
    return rgba;
}

}  // namespace

platform::Rect readRect(ScenarioObject object) {
    platform::Rect rect{object.number("x").value_or(0), object.number("y").value_or(0),
                        object.number("width").value_or(0), object.number("height").value_or(0)};
    object.finish();
    return rect;
}

platform::TextRange readRange(ScenarioObject object) {
    auto location = object.integer("location", 0, maxLong);
    auto length = object.integer("length", 0, maxLong);
    if (!location) object.fail("location", "is required");
    if (!length) object.fail("length", "is required");
    object.finish();
    return {static_cast<long>(*location), static_cast<long>(*length)};
}

WindowImage readImage(ScenarioObject object) {
    if (auto path = object.string("path")) {
        object.finish();
        return PngFile{*path};
    }
    auto width = object.integer("width", 1, maxFillSide);
    auto height = object.integer("height", 1, maxFillSide);
    if (!width) object.fail("width", "is required without a path");
    if (!height) object.fail("height", "is required without a path");
    SolidFill fill{static_cast<std::uint32_t>(*width),
                   static_cast<std::uint32_t>(*height),
                   {255, 255, 255, 255}};
    if (auto colour = object.string("fill")) {
        auto rgba = parseColour(*colour);
        if (!rgba) object.fail("fill", "must be a colour as #RRGGBB or #RRGGBBAA");
        fill.rgba = *rgba;
    }
    object.finish();
    return fill;
}

Error readError(ScenarioObject object) {
    Error error(object.string("domain").value_or("Lumora.Sim"),
                static_cast<int>(object.integer("code", -maxInt - 1, maxInt).value_or(0)),
                object.string("description").value_or("The operation couldn’t be completed."));
    object.finish();
    return error;
}

}  // namespace lumora::sim
