#pragma once

#include <string>
#include <string_view>

// Decodes the escapes a page's URL may carry: control bytes, the unsafe and
// reserved characters of URLs, and two-byte UTF-8 pairs (Cyrillic). Any other
// escape, such as %41, is left as written.
std::string PercentDecodeUrl(std::string_view url);

// True for a "file:" URL (any case).
bool IsFileUrl(std::string_view url);

// Percent-decodes the URL; a file URL becomes a local path, anything else is
// returned as decoded. False (and logged) when a file URL has no local path.
bool UrlToPath(std::string_view url, std::string& strPath);
