#pragma once

#include <nlohmann/json_fwd.hpp>

#include <span>
#include <string>
#include <string_view>

// A key as the page reports it: its code, the modifiers held, whether the
// user was typing into a field, and the character it makes ("/" on any
// layout that has one; empty for keys that make none).
struct CKeyPress
{
    unsigned m_nKeyCode = 0;
    unsigned m_nKeys = 0;
    bool m_bTyping = false;
    std::string m_strKey;
};

enum class EShortcut
{
    NONE,
    FOCUS_SEARCH,    // Ctrl+F, and "/" outside a field
    NEXT_FOUND,      // F3
    PREVIOUS_FOUND,  // Shift+F3
    BACK,            // Alt+Left, as in a browser
    FORWARD,         // Alt+Right
    NEXT_REGION,     // F6: the next part of the window, as desktop programs do
    PREVIOUS_REGION, // Shift+F6
};

// The keys the client takes for itself in every window, in one table: the
// main window acts on them and the page keeps the browser's own use of them
// (its find bar) from hiding what the client shows.
class CShortcuts
{
public:
    struct CEntry
    {
        unsigned m_nKeyCode;    // 0: the key is known by its character
        std::string_view m_key; // the character, for keys known by it
        unsigned m_nKeys;       // Ctrl and Alt exactly as held; Shift when named
        bool m_bWhileTyping;    // taken from a field as well
        EShortcut m_eAction;
    };

    static std::span<const CEntry> GetTable();
    // The first entry that a key matches; NONE for a key the windows handle.
    static EShortcut Find(const CKeyPress& key);
    // The table as the page reads it: [{code, key, ctrl, alt, shift, typing}].
    static nlohmann::json ForPage();
};
