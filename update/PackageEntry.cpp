#include "PackageEntry.h"

#include "TextUtils.h"

#include <array>
#include <vector>

namespace
{
bool IsDeviceName(std::string_view part)
{
    const std::string_view base = part.substr(0, part.find('.'));
    static constexpr std::array<std::string_view, 4> kNames = {"CON", "PRN", "AUX", "NUL"};
    for (const auto name : kNames)
        if (CTextUtils::EqualsNoCaseAscii(base, name))
            return true;
    if (base.size() == 4 && base[3] >= '1' && base[3] <= '9' &&
        (CTextUtils::EqualsNoCaseAscii(base.substr(0, 3), "COM") ||
         CTextUtils::EqualsNoCaseAscii(base.substr(0, 3), "LPT")))
        return true;
    return false;
}
} // namespace

bool CPackageEntry::NormalizeName(std::string_view raw, std::string& strName,
                                  std::string& strReason)
{
    strName.clear();
    std::string text(raw);
    if (!text.empty() && (text[0] == '/' || text[0] == '\\'))
        text.erase(0, 1);
    for (char& c : text)
        if (c == '\\')
            c = '/';
    for (const char c : text)
    {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
        {
            strReason = "a control character";
            return false;
        }
    }
    if (text.starts_with('/'))
    {
        strReason = "an absolute path";
        return false;
    }
    if (text.find(':') != std::string::npos)
    {
        strReason = "a drive or stream name";
        return false;
    }
    const bool bFolder = text.ends_with('/');
    std::vector<std::string_view> parts;
    std::string_view rest(text);
    while (!rest.empty())
    {
        const auto nSlash = rest.find('/');
        const std::string_view part = rest.substr(0, nSlash);
        rest = nSlash == std::string_view::npos ? std::string_view() : rest.substr(nSlash + 1);
        if (part.empty() || part == ".")
            continue;
        if (part == "..")
        {
            strReason = "a parent folder";
            return false;
        }
        if (IsDeviceName(part))
        {
            strReason = "a device name";
            return false;
        }
        parts.push_back(part);
    }
    for (std::size_t n = 0; n < parts.size(); ++n)
    {
        if (n > 0)
            strName += '/';
        strName += parts[n];
    }
    if (bFolder && !strName.empty())
        strName += '/';
    return true;
}

std::string CPackageEntry::GetInstalledName(std::string_view name, bool& bEncipher)
{
    bEncipher = false;
    for (const std::string_view ext : {std::string_view(".html"), std::string_view(".xml")})
    {
        if (name.size() > ext.size() && name.ends_with(ext))
        {
            bEncipher = true;
            return std::string(name.substr(0, name.size() - ext.size())) + ".dat";
        }
    }
    return std::string(name);
}

bool CPackageEntry::IsRemovalList(std::string_view name)
{
    return "/" + std::string(name) == "/remove.files";
}

bool CPackageEntry::IsSymbolicLink(std::uint64_t nVersionMadeBy, std::uint64_t nExternalAttributes)
{
    constexpr std::uint64_t kUnixHost = 3;
    constexpr std::uint64_t kTypeMask = 0170000;
    constexpr std::uint64_t kLink = 0120000;
    return (nVersionMadeBy >> 8) == kUnixHost && ((nExternalAttributes >> 16) & kTypeMask) == kLink;
}
