#include "HttpReqRegisterUser.h"

#include "Logger.h"
#include "TextUtils.h"
#include "UrlToPath.h"
#include "XMLUtils.h"

#include <utility>

namespace
{
std::string Trimmed(std::string_view text)
{
    return std::string(CTextUtils::Trim(text));
}
} // namespace

void CRegistrationData::SetName(std::string_view text)
{
    m_strName = Trimmed(text);
}
void CRegistrationData::SetSecondName(std::string_view text)
{
    m_strSecondName = Trimmed(text);
}
void CRegistrationData::SetFamilyName(std::string_view text)
{
    m_strFamilyName = Trimmed(text);
}
void CRegistrationData::SetEmail(std::string_view text)
{
    m_strEmail = Trimmed(text);
}
void CRegistrationData::SetLogin(std::string_view text)
{
    m_strLogin = Trimmed(text);
}
void CRegistrationData::SetPassword(std::string_view text)
{
    m_strPassword = Trimmed(text);
}
void CRegistrationData::SetGuarantyNumber(std::string_view text)
{
    m_strGuarantyNumber = Trimmed(text);
}
void CRegistrationData::SetCity(std::string_view text)
{
    m_strCity = Trimmed(text);
}
void CRegistrationData::SetCompany(std::string_view text)
{
    m_strCompany = Trimmed(text);
}
void CRegistrationData::SetPhone(std::string_view text)
{
    m_strPhone = Trimmed(text);
}

CHttpReqRegisterUser::CHttpReqRegisterUser(const CRequestSettings& settings,
                                           const CRegistrationData& data)
    : CHttpRequest(settings, "/export/register_user.php"),
      m_data(data)
{
    m_strHost = settings.m_service.m_strWebHost;
    m_nPort = settings.m_service.m_nWebPort;
}

std::shared_ptr<CHttpReqRegisterUser>
CHttpReqRegisterUser::DoRequest(CRequestHandlers handlers, const CRequestSettings& settings,
                                const CRegistrationData& data)
{
    std::shared_ptr<CHttpReqRegisterUser> pRequest(new CHttpReqRegisterUser(settings, data));
    pRequest->RegisterHandlers(std::move(handlers));
    Launch(pRequest);
    return pRequest;
}

CRequestBytes CHttpReqRegisterUser::BuildBody(const CRegistrationData& data)
{
    const std::pair<const char*, const std::string*> fields[] = {
        {"name", &data.GetName()},
        {"secondname", &data.GetSecondName()},
        {"family", &data.GetFamilyName()},
        {"email", &data.GetEmail()},
        {"login", &data.GetLogin()},
        {"password", &data.GetPassword()},
        {"guaranty_number", &data.GetGuarantyNumber()},
        {"city", &data.GetCity()},
        {"company", &data.GetCompany()},
        {"phone", &data.GetPhone()},
    };
    CXmlDocPtr doc;
    bool bBuilt = CXMLUtils::CreateXmlDocument("register", doc);
    xmlNode* pRoot = bBuilt ? xmlDocGetRootElement(doc.get()) : nullptr;
    for (const auto& [szTag, pValue] : fields)
        bBuilt = bBuilt && CXMLUtils::PutTextNode(pRoot, szTag, *pValue);
    bBuilt = bBuilt && CXMLUtils::PutTextNode(pRoot, "deviceType", "Win");
    if (!bBuilt)
        KLOG_ERR << "CHttpReqRegisterUser::GetRequestBuffer: build xml error";
    const std::string strBody =
        "data=" + PercentEncodeUrl(doc ? CXMLUtils::SaveXmlToString(doc.get()) : "");
    return {strBody.begin(), strBody.end()};
}

void CHttpReqRegisterUser::GetRequestBuffer(CRequestBytes& body)
{
    body = BuildBody(m_data);
}

bool CHttpReqRegisterUser::CheckResult(const CAnswerLines& lines)
{
    if (lines.empty())
    {
        KLOG_ERR << "CHttpRequest::CheckResult: empty response";
        return false;
    }
    if (lines[0] == "OK")
        return true;
    if (lines[0] == "ERROR")
    {
        m_nErrorCode = lines.size() > 1 ? CLineProtocol::ToInt(lines[1]) : 0;
        m_strErrorText = lines.size() > 2 ? lines[2] : std::string();
    }
    return false;
}

bool CHttpReqRegisterUser::ParseResponseBuffer(const CRequestBytes& response)
{
    m_lines.clear();
    CLineProtocol::ParseText(response, m_lines);
    return CheckResult(m_lines);
}
