#include "Shortcuts.h"

#include "DomEvent.h"

#include <nlohmann/json.hpp>

#include <array>

namespace
{
// Shift+F3 comes before F3: an entry that does not name Shift takes the key
// with or without it, as a character that needs Shift on some layouts does.
// Alt+Left and Alt+Right are the client's even in a field: the browser's
// own use of them would leave the client's page.
constexpr std::array<CShortcuts::CEntry, 8> kTable{{
    {VK_F, "", CONTROL_KEY_PRESSED, true, EShortcut::FOCUS_SEARCH},
    {0, "/", 0, false, EShortcut::FOCUS_SEARCH},
    {VK_F3, "", SHIFT_KEY_PRESSED, true, EShortcut::PREVIOUS_FOUND},
    {VK_F3, "", 0, true, EShortcut::NEXT_FOUND},
    {VK_LEFT, "", ALT_KEY_PRESSED, true, EShortcut::BACK},
    {VK_RIGHT, "", ALT_KEY_PRESSED, true, EShortcut::FORWARD},
    {VK_F6, "", SHIFT_KEY_PRESSED, true, EShortcut::PREVIOUS_REGION},
    {VK_F6, "", 0, true, EShortcut::NEXT_REGION},
}};

constexpr unsigned kCtrlAlt = CONTROL_KEY_PRESSED | ALT_KEY_PRESSED;

bool Matches(const CShortcuts::CEntry& entry, const CKeyPress& key)
{
    const bool bKey =
        entry.m_nKeyCode != 0 ? key.m_nKeyCode == entry.m_nKeyCode : key.m_strKey == entry.m_key;
    return bKey && (key.m_nKeys & kCtrlAlt) == (entry.m_nKeys & kCtrlAlt) &&
           (!(entry.m_nKeys & SHIFT_KEY_PRESSED) || (key.m_nKeys & SHIFT_KEY_PRESSED)) &&
           (entry.m_bWhileTyping || !key.m_bTyping);
}
} // namespace

std::span<const CShortcuts::CEntry> CShortcuts::GetTable()
{
    return kTable;
}

EShortcut CShortcuts::Find(const CKeyPress& key)
{
    for (const CEntry& entry : kTable)
        if (Matches(entry, key))
            return entry.m_eAction;
    return EShortcut::NONE;
}

nlohmann::json CShortcuts::ForPage()
{
    nlohmann::json table = nlohmann::json::array();
    for (const CEntry& entry : kTable)
        table.push_back({{"code", entry.m_nKeyCode},
                         {"key", entry.m_key},
                         {"ctrl", (entry.m_nKeys & CONTROL_KEY_PRESSED) != 0},
                         {"alt", (entry.m_nKeys & ALT_KEY_PRESSED) != 0},
                         {"shift", (entry.m_nKeys & SHIFT_KEY_PRESSED) != 0},
                         {"typing", entry.m_bWhileTyping}});
    return table;
}
