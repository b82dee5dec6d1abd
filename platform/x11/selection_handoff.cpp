#include "platform/x11/selection_handoff.h"

#include <algorithm>
#include <chrono>
#include <string>

#include "platform/x11/clipboard_manager.h"
#include "platform/x11/selection_keeper.h"

namespace lumora::x11 {

namespace {

// A manager converts a few targets from a local client within milliseconds.
constexpr std::chrono::milliseconds managerLimit(2000);
constexpr std::chrono::milliseconds keeperLimit(2000);

std::vector<std::string> targetNames(const HeldItem& item) {
    std::vector<std::string> names;
    for (const OfferedTarget& offered : offeredTargets(item)) names.push_back(offered.target);
    return names;
}

}  // namespace

void handOnSelections(std::vector<HeldSelection> selections) {
    auto clipboard =
        std::find_if(selections.begin(), selections.end(),
                     [](const HeldSelection& held) { return held.selection == "CLIPBOARD"; });
    if (clipboard != selections.end() &&
        saveInClipboardManager(targetNames(clipboard->item), managerLimit)) {
        selections.erase(clipboard);
    }
    if (!selections.empty()) handToSelectionKeeper(selections, keeperLimit);
}

}  // namespace lumora::x11
