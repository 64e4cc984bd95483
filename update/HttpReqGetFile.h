#pragma once

#include "HttpRequest.h"

// Downloads one URL into a file by GET, reporting progress. Cancelling stops
// the transfer and removes the file.
class CHttpReqGetFile : public CHttpRequest
{
public:
    // With bFinishPause the bar is shown full for a moment after the download.
    static std::shared_ptr<CHttpReqGetFile>
    DoRequest(CRequestHandlers handlers, const CRequestSettings& settings, std::string_view url,
              std::string strDestinationPath, bool bFinishPause);
    void KillRequest() override;
    const std::string& GetDestinationPath() const { return m_strDestinationPath; }

protected:
    CHttpReqGetFile(const CRequestSettings& settings, std::string_view url,
                    std::string strDestinationPath, bool bFinishPause);
    void DoRequest(CRequestBytes& response) override;
    // The download succeeded when its file exists.
    bool ParseResponseBuffer(const CRequestBytes& response) override;

private:
    void Download();

    std::string m_strDestinationPath;
    bool m_bFinishPause;
};
