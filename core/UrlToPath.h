#pragma once

#include <string>
#include <string_view>

// Decodes the escapes a page's URL may carry: control bytes, the unsafe and
// reserved characters of URLs, and two-byte UTF-8 pairs (Cyrillic). Any other
// escape, such as %41, is left as written.
std::string PercentDecodeUrl(std::string_view url);

// Every byte but letters, digits, "-", "_", "." and "~" (and those of keep)
// as "%XX": a form field, or a path put into an address.
std::string PercentEncodeUrl(std::string_view text, std::string_view keep = {});

// True for a "file:" URL (any case).
bool IsFileUrl(std::string_view url);

// Percent-decodes the URL; a file URL becomes a local path, anything else is
// returned as decoded. False (and logged) when a file URL has no local path.
bool UrlToPath(std::string_view url, std::string& strPath);
