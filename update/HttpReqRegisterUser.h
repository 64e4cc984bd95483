#pragma once

#include "HttpRequest.h"

#include <string>
#include <string_view>

// The sign-up form's record. Every setter trims white space at both ends.
class CRegistrationData
{
public:
    const std::string& GetName() const { return m_strName; }
    const std::string& GetSecondName() const { return m_strSecondName; }
    const std::string& GetFamilyName() const { return m_strFamilyName; }
    const std::string& GetEmail() const { return m_strEmail; }
    const std::string& GetLogin() const { return m_strLogin; }
    const std::string& GetPassword() const { return m_strPassword; }
    const std::string& GetGuarantyNumber() const { return m_strGuarantyNumber; }
    const std::string& GetCity() const { return m_strCity; }
    const std::string& GetCompany() const { return m_strCompany; }
    const std::string& GetPhone() const { return m_strPhone; }

    void SetName(std::string_view text);
    void SetSecondName(std::string_view text);
    void SetFamilyName(std::string_view text);
    void SetEmail(std::string_view text);
    void SetLogin(std::string_view text);
    void SetPassword(std::string_view text);
    void SetGuarantyNumber(std::string_view text);
    void SetCity(std::string_view text);
    void SetCompany(std::string_view text);
    void SetPhone(std::string_view text);

private:
    std::string m_strName;
    std::string m_strSecondName;
    std::string m_strFamilyName;
    std::string m_strEmail;
    std::string m_strLogin;
    std::string m_strPassword;
    std::string m_strGuarantyNumber;
    std::string m_strCity;
    std::string m_strCompany;
    std::string m_strPhone;
};

// Sends the sign-up form to the web host. Its answer has no version line: "OK",
// or "ERROR", code, text.
class CHttpReqRegisterUser : public CHttpRequest
{
public:
    static std::shared_ptr<CHttpReqRegisterUser> DoRequest(CRequestHandlers handlers,
                                                           const CRequestSettings& settings,
                                                           const CRegistrationData& data);
    // "data=" and the form as XML, percent-encoded as a form field.
    static CRequestBytes BuildBody(const CRegistrationData& data);

protected:
    CHttpReqRegisterUser(const CRequestSettings& settings, const CRegistrationData& data);
    void GetRequestBuffer(CRequestBytes& body) override;
    bool CheckResult(const CAnswerLines& lines) override;
    bool ParseResponseBuffer(const CRequestBytes& response) override;

private:
    CRegistrationData m_data;
};
