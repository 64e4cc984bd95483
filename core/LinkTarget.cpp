#include "LinkTarget.h"

#include "TextUtils.h"
#include "UrlToPath.h"

#include <algorithm>

namespace
{
// A scheme followed by something: a bare "http:" addresses nothing.
bool HasSchemeAndRest(std::string_view url, std::string_view scheme)
{
    return url.starts_with(scheme) && url.size() > scheme.size();
}
} // namespace

bool IsPictureUrl(std::string_view url)
{
    const std::string strLower = CTextUtils::ToLower(url);
    return strLower.find(".jpg") != std::string::npos || strLower.find(".png") != std::string::npos;
}

CLinkTarget ClassifyLink(std::string_view url, std::string_view documentsFolder)
{
    CLinkTarget target;
    target.m_bPicture = IsPictureUrl(url);
    target.m_strAddress.assign(url);
    if (HasSchemeAndRest(url, "http:") || HasSchemeAndRest(url, "https:"))
        target.m_eKind = ELinkKind::WEB;
    else if (url.starts_with("mailto:"))
        target.m_eKind = ELinkKind::MAIL;
    else if (url.starts_with("about:"))
        target.m_eKind = ELinkKind::SPECIAL;
    if (target.m_eKind != ELinkKind::DOCUMENT)
        return target;

    // The anchor is cut before decoding: an escaped "#" belongs to the name.
    const auto nHash = url.find('#');
    const std::string_view file = url.substr(0, nHash);
    std::string strPath;
    if (!UrlToPath(file, strPath))
        strPath.assign(file);
    std::replace(strPath.begin(), strPath.end(), '\\', '/');
    if (!documentsFolder.empty() && strPath.starts_with(documentsFolder))
        strPath = "/" + strPath.substr(documentsFolder.size());
    target.m_strAddress = strPath;
    if (nHash != std::string_view::npos)
    {
        target.m_strAnchor = PercentDecodeUrl(url.substr(nHash + 1));
        target.m_strAddress += "#" + target.m_strAnchor;
    }
    return target;
}
