#pragma once

#include "KalimorHTMLayoutDataLoader.h"
#include "RegistryConfig.h"
#include "ResourceConfig.h"
#include "UpdateNotifier.h"

#include <ctime>
#include <string>

class CBlankInfoData;
class CBookmarkVector;
class CDocumentSearch;
class CEncyclopediaData;
class CMRUDocumentData;
class CNewInfoData;
class CProfileConfig;
class CSearchPrompt2Manager;
class CSearchRegistry;
class CSynonymsSearch;
class CTaxCalendar;
class CViewHistoryData;
class CWorkCalendar;
struct CRequestSettings;

// What the windows need of the application object: its settings, the UI
// resources and their loader, and the tray life. The application implements
// it; tests give windows one of their own.
class CClientContext
{
public:
    virtual ~CClientContext() = default;
    virtual CRegistryConfig& GetRegistryConfig() = 0;
    virtual const CResourceConfig& GetResourceConfig() const = 0;
    virtual CAbstractHTMLayoutDataLoader* GetDataLoader() = 0;
    virtual void SetTrayMode(bool bTrayMode) = 0;
    virtual bool IsTrayMode() const = 0;
    virtual void ShowMainWindowFromTray() = 0;
    virtual std::string GetContentFolder() const { return {}; }
    // A tray shows the client's icon, so a closed window can be found again.
    virtual bool HasTrayHost() const { return true; }
    // How an update that runs in the tray is told to the user; null: it is not.
    virtual IUpdateNotifier* GetUpdateNotifier() { return nullptr; }
    // Opens a web or mail address with the desktop's handler.
    virtual bool OpenExternal(const std::string& strUrl);
    // Opens a file in the word processor (LibreOffice Writer); false when
    // there is none.
    virtual bool OpenInWordProcessor(const std::string& strPath);

    // The content and the user's data; null where the application has none.
    virtual CEncyclopediaData* GetEncyclopedia() { return nullptr; }
    virtual CBookmarkVector* GetBookmarks() { return nullptr; }
    // Writes the bookmarks to their file at once.
    virtual bool SaveBookmarks() { return false; }
    virtual CViewHistoryData* GetViewHistory() { return nullptr; }
    virtual const CMRUDocumentData* GetMRUDocuments() { return nullptr; }
    // The search: the full-text search, the alphabetical index with its
    // prompts, the prompt list and the synonyms.
    virtual CDocumentSearch* GetDocumentSearch() { return nullptr; }
    virtual CSearchRegistry* GetSearchRegistry() { return nullptr; }
    virtual const CSearchPrompt2Manager* GetPromptList() { return nullptr; }
    virtual const CSynonymsSearch* GetSynonyms() { return nullptr; }
    // The forms library, the news and the tax and work calendars.
    virtual CBlankInfoData* GetBlanks() { return nullptr; }
    virtual const CNewInfoData* GetNews() { return nullptr; }
    virtual const CTaxCalendar* GetTaxCalendar() { return nullptr; }
    virtual const CWorkCalendar* GetWorkCalendar() { return nullptr; }
    // The profile's folders (content, downloads); null where there is none.
    virtual const CProfileConfig* GetProfile() { return nullptr; }
    // Where the update service is and the pauses of its requests.
    virtual CRequestSettings GetRequestSettings() const;
    // Frees the content and loads it again (after an update installed some).
    virtual void ReloadData() {}
    // The content folder's documents ("Content/Content").
    std::string GetDocumentsFolder() const;
    // The clock of the windows' timers (tests move it).
    virtual std::time_t Now() const { return std::time(nullptr); }

    // The UI files are one set for the whole process (the ui folder beside
    // the program, else the copies compiled into it). Windows name their
    // pages, and the message dialog that any code may show reads its page,
    // through these two.
    // A UI file by its path relative to the application folder.
    static std::string GetUiPath(std::string_view relative);
    // The application's loader of UI files, or null without an application.
    static CAbstractHTMLayoutDataLoader* GetUiLoader();

protected:
    // The application object registers itself for the two above at its
    // start and withdraws at its end.
    static void Set(CClientContext* pContext);

private:
    // Only the two above read it: windows are given their context when they
    // are made.
    static CClientContext* Get();
};
