#include "StringGenerator.h"

#include "FileUtils.h"
#include "Logger.h"
#include "XMLUtils.h"

namespace
{
bool IsNameChar(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}
} // namespace

bool StringGenerator::LoadStrTemplateFromFile(const std::string& strPath)
{
    KTRACE("StringGenerator::LoadStrTemplateFromFile", strPath);
    if (!CFileUtils::LoadTxtFileOrResource(strPath, m_strTemplate))
    {
        KLOG_ERR << "StringGenerator::LoadStrTemplateFromFile can't load template " << strPath;
        return false;
    }
    return true;
}

std::string StringGenerator::Generate(const std::map<std::string, std::string>& values) const
{
    std::string result;
    result.reserve(m_strTemplate.size() * 2);
    const std::string_view text(m_strTemplate);
    std::size_t nPos = 0;
    while (nPos < text.size())
    {
        const auto nStart = text.find("$(", nPos);
        if (nStart == std::string_view::npos)
            break;
        std::size_t nEnd = nStart + 2;
        while (nEnd < text.size() && IsNameChar(text[nEnd]))
            ++nEnd;
        result.append(text.substr(nPos, nStart - nPos));
        if (nEnd < text.size() && text[nEnd] == ')' && nEnd > nStart + 2)
        {
            const auto it = values.find(std::string(text.substr(nStart + 2, nEnd - nStart - 2)));
            if (it != values.end())
                result += CXMLUtils::EncodeForXML(it->second);
            else
                result.append(text.substr(nStart, nEnd + 1 - nStart));
            nPos = nEnd + 1;
        }
        else
        {
            result.append(text.substr(nStart, 2));
            nPos = nStart + 2;
        }
    }
    result.append(text.substr(std::min(nPos, text.size())));
    return result;
}
