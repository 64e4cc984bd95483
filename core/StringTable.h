#pragma once

#include <string_view>

// The client's user-visible texts, addressed by their string-table numbers.
enum EStringId : unsigned
{
    IDS_UPDATE_PLEASE_WAIT = 135,
    IDS_HYPERLINK_ERROR = 144,
    IDS_REGISTRY_ALPHABET = 163,
    IDS_UPDATE_NO_CONNECTION = 180,
    IDS_TRAY_TOOLTIP = 191,
    IDS_UPDATE_NEW_CLIENT_OFFER = 196,
    IDS_UPDATE_CLIENT_DOWNLOADING = 197,
    IDS_UPDATE_CLIENT_DOWNLOADED = 198,
    IDS_UPDATE_DONE = 199,
    IDS_UPDATE_UP_TO_DATE = 200,
    IDS_SIGN_UP_TITLE = 201,
    IDS_SIGN_UP_SENDING = 202,
    IDS_SIGN_UP_DONE = 203,
    IDS_UPDATE_TRAY_BALLOON = 204,
    IDS_NO_CONTENT = 207,
    IDS_MAIN_WINDOW_TITLE = 212,
    IDS_INVALID_LINK = 213,
    IDS_FORMS_FOLDER = 217,
    IDS_INSTALL_ERROR = 224,
    IDS_IMAGE_HINT = 226,
    IDS_WORD_PROCESSOR_ERROR = 264,
    IDS_DOWNLOAD_URL_LOADING = 266,
    IDS_DOWNLOAD_URL_DONE = 267,
    IDS_DOWNLOAD_URL_ERROR = 268,
};

class CStringTable
{
public:
    // The text of an entry, or an empty text for an unknown number.
    static std::string_view Get(unsigned nId);
};
