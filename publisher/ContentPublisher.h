#pragma once

#include "EncyclopediaPublisher.h"
#include "PublishReport.h"

#include <string>
#include <vector>

// Builds a profile's content folder from a readable source tree:
//
//   SRC/encyclopedia.xml, pages/, style.css
//       mru_documents.xml  blanks.xml  tax_calendar.xml  work_calendar.xml
//       news.xml  search_synonyms.xml  registry2.xml  search_prompts2.xml
//
// (docs/content-source.md describes each file.) Each catalogue is the plain
// XML of the format the client reads; it is checked, then stored enciphered
// under its content name (blanks.dat, ...). A catalogue missing from the
// source is left out and noted.
//
// Everything is written into a staging folder beside PROFILE/Content and put
// in place only when the whole run succeeded, so a failed run leaves the
// target as it was and nothing half-written.
class CContentPublisher
{
public:
    bool Publish(const std::string& strSource, const std::string& strProfileRoot,
                 CPublishReport& report);

    // The pages of the last run, by url, with their text.
    const std::vector<CPublishedPage>& GetPages() const { return m_pages; }

private:
    bool PublishCatalogues(const std::string& strSource, const std::string& strContent,
                           CPublishReport& report);
    static bool PutInPlace(const std::string& strStaging, const std::string& strContent,
                           CPublishReport& report);

    std::vector<CPublishedPage> m_pages;
};
