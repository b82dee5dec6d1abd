#include "platform/x11/atspi_roles.h"

#include <atspi/atspi.h>

#include <array>
#include <utility>

namespace lumora::x11 {

namespace {

constexpr std::array<std::pair<AtspiRole, std::string_view>, 38> namedRoles = {{
    {ATSPI_ROLE_APPLICATION, "AXApplication"},
    {ATSPI_ROLE_FRAME, "AXWindow"},
    {ATSPI_ROLE_WINDOW, "AXWindow"},
    {ATSPI_ROLE_DIALOG, "AXWindow"},
    {ATSPI_ROLE_ALERT, "AXWindow"},
    {ATSPI_ROLE_FILE_CHOOSER, "AXWindow"},
    {ATSPI_ROLE_DOCUMENT_WEB, "AXWebArea"},
    {ATSPI_ROLE_PUSH_BUTTON, "AXButton"},
    {ATSPI_ROLE_TOGGLE_BUTTON, "AXCheckBox"},
    {ATSPI_ROLE_CHECK_BOX, "AXCheckBox"},
    {ATSPI_ROLE_RADIO_BUTTON, "AXRadioButton"},
    {ATSPI_ROLE_COMBO_BOX, "AXComboBox"},
    {ATSPI_ROLE_LABEL, "AXStaticText"},
    {ATSPI_ROLE_STATIC, "AXStaticText"},
    {ATSPI_ROLE_HEADING, "AXHeading"},
    {ATSPI_ROLE_LINK, "AXLink"},
    {ATSPI_ROLE_IMAGE, "AXImage"},
    {ATSPI_ROLE_MENU_BAR, "AXMenuBar"},
    {ATSPI_ROLE_MENU, "AXMenu"},
    {ATSPI_ROLE_MENU_ITEM, "AXMenuItem"},
    {ATSPI_ROLE_CHECK_MENU_ITEM, "AXMenuItem"},
    {ATSPI_ROLE_RADIO_MENU_ITEM, "AXMenuItem"},
    {ATSPI_ROLE_TOOL_BAR, "AXToolbar"},
    {ATSPI_ROLE_SCROLL_PANE, "AXScrollArea"},
    {ATSPI_ROLE_SCROLL_BAR, "AXScrollBar"},
    {ATSPI_ROLE_PAGE_TAB_LIST, "AXTabGroup"},
    {ATSPI_ROLE_PAGE_TAB, "AXRadioButton"},
    {ATSPI_ROLE_LIST, "AXList"},
    {ATSPI_ROLE_LIST_BOX, "AXList"},
    {ATSPI_ROLE_LIST_ITEM, "AXCell"},
    {ATSPI_ROLE_TABLE, "AXTable"},
    {ATSPI_ROLE_TREE_TABLE, "AXOutline"},
    {ATSPI_ROLE_TABLE_CELL, "AXCell"},
    {ATSPI_ROLE_SLIDER, "AXSlider"},
    {ATSPI_ROLE_SPIN_BUTTON, "AXIncrementor"},
    {ATSPI_ROLE_PROGRESS_BAR, "AXProgressIndicator"},
    {ATSPI_ROLE_SPLIT_PANE, "AXSplitGroup"},
    {ATSPI_ROLE_STATUS_BAR, "AXGroup"},
}};

// Text-bearing roles: a multi-line one is a text area, any other a text field.
constexpr std::array<AtspiRole, 6> textRoles = {
    ATSPI_ROLE_TEXT,    ATSPI_ROLE_ENTRY,         ATSPI_ROLE_PARAGRAPH,
    ATSPI_ROLE_EDITBAR, ATSPI_ROLE_DOCUMENT_TEXT, ATSPI_ROLE_TERMINAL,
};

}  // namespace

AXRoles axRolesOf(int atspiRole, bool multiLine) {
    if (isPasswordRole(atspiRole)) return {"AXTextField", "AXSecureTextField"};
    for (AtspiRole text : textRoles) {
        if (atspiRole == text) return {multiLine ? "AXTextArea" : "AXTextField", std::nullopt};
    }
    for (const auto& [role, name] : namedRoles) {
        if (atspiRole == role) return {name, std::nullopt};
    }
    // Panels, fillers, sections and the like only group what they contain.
    return {"AXGroup", std::nullopt};
}

bool isWindowRole(int atspiRole) {
    return axRolesOf(atspiRole, false).role == "AXWindow";
}

bool isPasswordRole(int atspiRole) {
    return atspiRole == ATSPI_ROLE_PASSWORD_TEXT;
}

}  // namespace lumora::x11
