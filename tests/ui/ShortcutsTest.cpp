#include "Shortcuts.h"
#include "DomEvent.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

TEST(Shortcuts, EachKeyFindsItsActionOnlyWithItsModifiersAndWhereItMayBeTyped)
{
    struct CCase
    {
        const char* m_szWhat;
        CKeyPress m_key;
        EShortcut m_eAction;
    };
    const CCase cases[] = {
        {"Ctrl+F", {VK_F, CONTROL_KEY_PRESSED, false, "f"}, EShortcut::FOCUS_SEARCH},
        {"Ctrl+F from a field", {VK_F, CONTROL_KEY_PRESSED, true, "f"}, EShortcut::FOCUS_SEARCH},
        {"Ctrl+Shift+F",
         {VK_F, CONTROL_KEY_PRESSED | SHIFT_KEY_PRESSED, false, "F"},
         EShortcut::FOCUS_SEARCH},
        {"F alone is a letter", {VK_F, 0, false, "f"}, EShortcut::NONE},
        {"Ctrl+Alt+F (AltGr on some layouts)",
         {VK_F, CONTROL_KEY_PRESSED | ALT_KEY_PRESSED, false, ""},
         EShortcut::NONE},
        {"/", {VK_OEM_2, 0, false, "/"}, EShortcut::FOCUS_SEARCH},
        {"/ typed with Shift on another layout",
         {0xDC, SHIFT_KEY_PRESSED, false, "/"},
         EShortcut::FOCUS_SEARCH},
        {"/ in a field is a character", {VK_OEM_2, 0, true, "/"}, EShortcut::NONE},
        {"the key of / that makes a full stop", {VK_OEM_2, 0, false, "."}, EShortcut::NONE},
        {"Ctrl+/", {VK_OEM_2, CONTROL_KEY_PRESSED, false, "/"}, EShortcut::NONE},
        {"F3", {VK_F3, 0, true, ""}, EShortcut::NEXT_FOUND},
        {"Shift+F3", {VK_F3, SHIFT_KEY_PRESSED, false, ""}, EShortcut::PREVIOUS_FOUND},
        {"Alt+F3", {VK_F3, ALT_KEY_PRESSED, false, ""}, EShortcut::NONE},
        {"Alt+Left from a field", {VK_LEFT, ALT_KEY_PRESSED, true, ""}, EShortcut::BACK},
        {"Alt+Right", {VK_RIGHT, ALT_KEY_PRESSED, false, ""}, EShortcut::FORWARD},
        {"Left alone moves the caret", {VK_LEFT, 0, true, ""}, EShortcut::NONE},
        {"F6 from a field", {VK_F6, 0, true, ""}, EShortcut::NEXT_REGION},
        {"Shift+F6", {VK_F6, SHIFT_KEY_PRESSED, false, ""}, EShortcut::PREVIOUS_REGION},
        {"Ctrl+Alt+Left",
         {VK_LEFT, CONTROL_KEY_PRESSED | ALT_KEY_PRESSED, false, ""},
         EShortcut::NONE},
    };
    for (const CCase& test : cases)
        EXPECT_EQ(CShortcuts::Find(test.m_key), test.m_eAction) << test.m_szWhat;

    // The page gets the same table, entry for entry.
    const auto table = CShortcuts::ForPage();
    ASSERT_EQ(table.size(), CShortcuts::GetTable().size());
    EXPECT_EQ(table[1]["key"], "/");
    EXPECT_EQ(table[1]["typing"], false);
}
