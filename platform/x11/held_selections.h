// The selections the helper holds when it exits, as it hands them to whoever keeps them: each
// selection's name with its item, and the bytes that carry them through a pipe to the keeper
// (length-prefixed strings; nothing but whole, well-formed input decodes).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/x11/selection_targets.h"

namespace lumora::x11 {

struct HeldSelection {
    std::string selection;  // "CLIPBOARD", "PRIMARY"
    HeldItem item;
};

std::string encodeHeldSelections(const std::vector<HeldSelection>& selections);
std::optional<std::vector<HeldSelection>> decodeHeldSelections(std::string_view bytes);

}  // namespace lumora::x11
