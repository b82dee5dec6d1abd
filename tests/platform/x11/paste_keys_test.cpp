#include "platform/x11/paste_keys.h"

#include <gtest/gtest.h>

namespace lumora::x11 {
namespace {

TEST(PasteKeysTest, EachWindowPastesWithItsOwnKeys) {
    struct Case {
        std::vector<std::string> windowClass;
        bool terminalFocused;
        PasteKeys keys;
    };
    const std::vector<Case> cases = {
        {{"mousepad", "Mousepad"}, false, PasteKeys::controlV},
        {{}, false, PasteKeys::controlV},
        // Terminals that paste PRIMARY, by instance or by class, in any case.
        {{"xterm", "XTerm"}, false, PasteKeys::shiftInsert},
        {{"uxterm", "UXTerm"}, false, PasteKeys::shiftInsert},
        {{"urxvt", "URxvt"}, false, PasteKeys::shiftInsert},
        // xterm's class wins over accessibility, which xterm has none of to be wrong about.
        {{"xterm", "XTerm"}, true, PasteKeys::shiftInsert},
        {{"lxterminal", "Lxterminal"}, false, PasteKeys::controlShiftV},
        {{"Alacritty", "Alacritty"}, false, PasteKeys::controlShiftV},
        {{"st-256color", "st-256color"}, false, PasteKeys::controlShiftV},
        {{"gnome-terminal-server", "Gnome-terminal"}, false, PasteKeys::controlShiftV},
        // A terminal known only through accessibility.
        {{"my-new-term", "MyNewTerm"}, true, PasteKeys::controlShiftV},
        // Names that only contain a terminal's are not terminals.
        {{"xtermlike", "stx"}, false, PasteKeys::controlV},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.windowClass.empty() ? "no class" : c.windowClass.back());
        EXPECT_EQ(pasteKeysFor(c.windowClass, c.terminalFocused), c.keys);
    }
}

}  // namespace
}  // namespace lumora::x11
