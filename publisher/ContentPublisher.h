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
// source is left out and noted. The morphology dictionary is built from a
// hunspell dictionary (or copied from one built before), and the full-text
// index over the pages' text with it.
//
// Everything is written into a staging folder beside PROFILE/Content and put
// in place only when the whole run succeeded, so a failed run leaves the
// target as it was and nothing half-written.
struct CPublishOptions
{
    // The hunspell dictionary the morphology is built from (without .aff/.dic).
    std::string m_strHunspellBase = "/usr/share/hunspell/ru_RU";
    // A morphology dictionary built before (a folder holding common/ and
    // add/), used instead of building one.
    std::string m_strMorphologyFolder;
};

class CContentPublisher
{
public:
    bool Publish(const std::string& strSource, const std::string& strProfileRoot,
                 CPublishReport& report, const CPublishOptions& options = {});

    // The pages of the last run, by url (their text is let go once indexed).
    const std::vector<CPublishedPage>& GetPages() const { return m_pages; }

private:
    bool PublishCatalogues(const std::string& strSource, const std::string& strContent,
                           CPublishReport& report);
    static bool PublishMorphology(const std::string& strContent, const CPublishOptions& options,
                                  CPublishReport& report);
    bool PublishIndex(const std::string& strContent, CPublishReport& report);
    static bool SyncToDisk(const std::string& strStaging, CPublishReport& report);
    static bool PutInPlace(const std::string& strStaging, const std::string& strContent,
                           CPublishReport& report);

    std::vector<CPublishedPage> m_pages;
};
