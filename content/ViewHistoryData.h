#pragma once

#include "DateUtils.h"

#include <libxml/tree.h>

#include <ctime>
#include <memory>
#include <string>
#include <vector>

// One opened page, at most one per page and day.
struct CHistoryInfo
{
    std::string m_strURL;
    std::string m_strFirstLine;
    std::string m_strSecondLine;
    CLocalTime m_time;
};

// The view history: the pages the user opened, oldest first, at most 100,
// kept in the user's "history.xml" and rewritten in full after every change.
class CViewHistoryData
{
public:
    static constexpr std::size_t kMaxRecords = 100;

    // Loads the file, appending to what the list holds. A file that cannot be
    // read whole keeps what could be read, and a copy of it is kept beside it
    // so the next save does not destroy the rest. False when there is no
    // readable file.
    bool LoadData(const std::string& strPath);
    // Writes the list atomically to the file of the last load.
    bool SaveData();
    void FreeData();

    // Records a view of the page now (see the overload).
    void AddSection(const std::string& strURL, const std::string& strFirstLine,
                    const std::string& strSecondLine);
    // Records a view at the given time: nothing when the page's last record is
    // of the same day; otherwise appended, dropping the oldest beyond 100.
    void AddSection(const std::string& strURL, const std::string& strFirstLine,
                    const std::string& strSecondLine, std::time_t tNow);
    int GetLastIndex(const std::string& strURL) const;

    const std::vector<std::unique_ptr<CHistoryInfo>>& GetRecords() const { return m_records; }
    const std::string& GetPath() const { return m_strPath; }

private:
    bool LoadHistoryInfo(CHistoryInfo& info, const xmlNode* pNode);

    std::string m_strPath;
    std::vector<std::unique_ptr<CHistoryInfo>> m_records;
};
