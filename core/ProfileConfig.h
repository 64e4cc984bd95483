#pragma once

#include <string>

// Every path of the user's profile. The root is $KALIMOR_PROFILE when set,
// else $XDG_DATA_HOME/KalimorClient (XDG_DATA_HOME defaults to
// ~/.local/share). Installed content lives under Content/ and is replaced by
// updates; the user's own files (bookmarks, history, log) sit in the root.
class CProfileConfig
{
public:
    // Creates the root, Content/ and Download/, then fixes every path. When
    // the root cannot be created every path stays empty, so nothing is read
    // or written anywhere else. Always true.
    bool LoadSettings();
    // The same with an explicit root (the command-line tool's --profile).
    bool LoadSettings(const std::string& strRoot);

    // The root that LoadSettings() uses: $KALIMOR_PROFILE or the XDG data folder.
    static std::string GetDefaultProfileRoot();
    // Creates the default root (with missing parents); empty when impossible.
    static std::string CreateProfileRootFolder();
    // Root + suffix, created when missing; empty when it cannot be created.
    std::string CreateProfileDirectory(const char* szSuffix) const;

    std::string m_strProfileRoot;
    std::string m_strLogFilePath;
    std::string m_strContentDirPath;
    std::string m_strDownloadDirPath;
    std::string m_strEncyclopediaPath;
    std::string m_strDocumentsDirPath;
    std::string m_strTaxCalendarPath;
    std::string m_strWorkCalendarPath;
    std::string m_strBlanksPath;
    std::string m_strNewDocumentsPath;
    std::string m_strArticlesPath;
    std::string m_strReferencePath;
    std::string m_strMorphologyDirPath;
    std::string m_strFullTextDirPath;
    std::string m_strSearchRegistryPath;
    std::string m_strSynonymsPath;
    std::string m_strSearchPromptsPath;
    std::string m_strSearchPrompts2Path;
    std::string m_strBookmarksPath;
    std::string m_strMRUDocumentsPath;
    std::string m_strNewsPath;
    std::string m_strViewHistoryPath;
    std::string m_strStyleSheetSourcePath;
    std::string m_strStyleSheetPath;

private:
    static std::string CreateRoot(const std::string& strRoot);
    void FillPaths();
};
