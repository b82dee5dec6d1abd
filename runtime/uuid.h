// UUIDs in their textual 8-4-4-4-12 form.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace lumora {

struct Uuid {
    std::array<std::uint8_t, 16> bytes{};

    // Accepts hexadecimal digits of either case, hyphens exactly at 8-4-4-4-12.
    static std::optional<Uuid> parse(std::string_view text);
    // A random (version 4) UUID.
    static Uuid random();
    // Upper-case form, as the platform writes it.
    std::string string() const;

    bool operator==(const Uuid&) const = default;
};

}  // namespace lumora
