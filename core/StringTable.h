#pragma once

#include <string_view>

// The client's user-visible texts, addressed by their string-table numbers.
enum EStringId : unsigned
{
    IDS_LINK_OPEN_ERROR = 144,
    IDS_TRAY_TOOLTIP = 191,
    IDS_NO_CONTENT = 207,
    IDS_MAIN_WINDOW_TITLE = 212,
    IDS_FORMS_FOLDER = 217,
    IDS_INSTALL_ERROR = 224,
};

class CStringTable
{
public:
    // The text of an entry, or an empty text for an unknown number.
    static std::string_view Get(unsigned nId);
};
