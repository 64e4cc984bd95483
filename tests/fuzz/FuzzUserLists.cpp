// Arbitrary bytes as the user's bookmarks and view history files, which a
// crash or a full disk can leave in any state: both readers must keep what
// they can, and what they kept must come back unchanged from their own save.
#include "BlankInfoData.h"
#include "Bookmark.h"
#include "Cipher.h"
#include "EncyclopediaData.h"
#include "FuzzSearchSupport.h"
#include "ViewHistoryData.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace
{
const char kCatalogue[] = R"(<encyclopedia>
  <section name="НДС" code="nds">
    <section name="Ставки" url="/nds/rates.html">
      <section name="Нулевая ставка" anchor="zero"/>
    </section>
    <section name="Вычеты" url="/nds/deduct.html"/>
  </section>
</encyclopedia>)";

const char kBlanks[] = R"(<blanks><section name="Налоговые" code="tax">
  <blank day="1" month="2" year="2026" name="Декларация" upload_url="/u/d.xls"
         instruction_url="/i/d" site_url="/forms/d.html"><approval>Приказ</approval><used>Везде</used></blank>
</section></blanks>)";

void Check(bool bCondition)
{
    if (!bCondition)
        std::abort();
}

bool IsSaved(const CBookmark& bookmark)
{
    return bookmark.m_nType == CBookmark::VIEW_SECTION || bookmark.m_nType == CBookmark::VIEW_FORM;
}

// The files the readers leave beside a damaged file go after every input.
void RemoveUserFiles(const std::string& strFolder)
{
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(strFolder, error))
    {
        const std::string strName = entry.path().filename().string();
        if (strName.starts_with("bookmarks") || strName.starts_with("history"))
            std::filesystem::remove(entry.path(), error);
    }
}

struct CContent
{
    CContent()
    {
        for (const auto& [szName, szText] :
             {std::pair{"encyclopedia.dat", kCatalogue}, {"blanks.dat", kBlanks}})
        {
            std::string text = szText;
            CipherBuffer(reinterpret_cast<std::uint8_t*>(text.data()), text.size());
            m_folder.Write(szName, {}, text);
        }
        Check(m_encyclopedia.LoadData(m_folder.Path() + "/encyclopedia.dat", m_folder.Path()));
        Check(m_blanks.LoadData(m_folder.Path() + "/blanks.dat"));
    }
    CFuzzFolder m_folder;
    CEncyclopediaData m_encyclopedia;
    CBlankInfoData m_blanks;
};

void CheckBookmarks(CContent& content, std::string_view bytes)
{
    const std::string strFile = content.m_folder.Path() + "/bookmarks.xml";
    content.m_folder.Write("bookmarks.xml", {}, bytes);
    CBookmarkVector loaded;
    if (!loaded.LoadData(strFile, content.m_encyclopedia, &content.m_blanks))
        return;
    const std::string strSaved = content.m_folder.Path() + "/bookmarks-saved.xml";
    Check(loaded.SaveData(strSaved));
    CBookmarkVector reloaded;
    Check(reloaded.LoadData(strSaved, content.m_encyclopedia, &content.m_blanks));
    std::size_t nNext = 0;
    for (const auto& pBookmark : loaded.Items())
    {
        if (!IsSaved(*pBookmark))
            continue;
        Check(nNext < reloaded.GetCount());
        const CBookmark& again = *reloaded.GetAt(nNext++);
        Check(again.IsCopyOf(*pBookmark) && again.m_strAnnotation == pBookmark->m_strAnnotation &&
              again.m_bImportant == pBookmark->m_bImportant &&
              again.m_strText == pBookmark->m_strText);
    }
    Check(nNext == reloaded.GetCount());
}

void CheckHistory(CContent& content, std::string_view bytes)
{
    const std::string strFile = content.m_folder.Path() + "/history.xml";
    content.m_folder.Write("history.xml", {}, bytes);
    CViewHistoryData loaded;
    if (!loaded.LoadData(strFile))
        return;
    Check(loaded.SaveData());
    CViewHistoryData reloaded;
    Check(reloaded.LoadData(strFile));
    Check(reloaded.GetRecords().size() == loaded.GetRecords().size());
    for (std::size_t n = 0; n < loaded.GetRecords().size(); ++n)
    {
        const CHistoryInfo& a = *loaded.GetRecords()[n];
        const CHistoryInfo& b = *reloaded.GetRecords()[n];
        Check(a.m_strURL == b.m_strURL && a.m_strFirstLine == b.m_strFirstLine &&
              a.m_strSecondLine == b.m_strSecondLine && a.m_time.m_date == b.m_time.m_date &&
              a.m_time.m_nHour == b.m_time.m_nHour && a.m_time.m_nMinute == b.m_time.m_nMinute &&
              a.m_time.m_nSecond == b.m_time.m_nSecond);
    }
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t nSize)
{
    static CContent content;
    const std::string_view bytes(reinterpret_cast<const char*>(pData), nSize);
    CheckBookmarks(content, bytes);
    CheckHistory(content, bytes);
    RemoveUserFiles(content.m_folder.Path());
    return 0;
}
