#pragma once

#include <sys/types.h>

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

using CByteArray = std::vector<std::uint8_t>;

// Whole-file reading and writing, the file-or-resource rule, folder chains,
// copies and moves. Every helper logs its failures and reports them by its
// result; none throws. Paths are UTF-8 with "/" as the separator ("\" is
// accepted where content may carry it).
class CFileUtils
{
public:
    // Text files are UTF-8. Lines are read one by one and each is appended with
    // "\n", so CR LF becomes "\n" and the text always ends in "\n" unless empty.
    static bool LoadAllTxtFile(const std::string& strPath, std::string& strText);
    // The same; a byte-order mark stays in the text.
    static bool LoadAllUTF8TxtFile(const std::string& strPath, std::string& strText);
    static bool LoadAllBinFile(const std::string& strPath, CByteArray& bytes);
    static bool SaveBinFile(const std::string& strPath, std::span<const std::uint8_t> bytes);
    static bool SaveBinFile(const std::string& strPath, const void* pData, std::size_t nLength);
    // Writes a temporary file beside the target, flushes it to disk and renames
    // it over the target, so a crash or a full disk leaves either the old file
    // or the new one, never half of one. Used for the user's own files.
    static bool SaveFileAtomically(const std::string& strPath, std::span<const std::uint8_t> bytes,
                                   mode_t nMode = 0644);
    static bool SaveFileAtomically(const std::string& strPath, std::string_view text,
                                   mode_t nMode = 0644);
    static bool CreateEmptyFile(const std::string& strPath);
    // Copies a user's file that could not be read whole to a new name beside
    // it ("<name>.damaged-YYYYMMDD-HHMMSS", numbered when taken), so the next
    // save cannot destroy what it held. Returns the copy's path, or empty.
    static std::string KeepCopyAside(const std::string& strPath);

    // The embedded resource named by the path (see GetResourceName); an empty
    // resource counts as missing.
    static bool LoadResourceFile(const std::string& strPath, CByteArray& bytes);
    // A file on disk wins over the embedded copy of the same relative name.
    static bool LoadTxtFileOrResource(const std::string& strPath, std::string& strText);
    static bool LoadBinFileOrResource(const std::string& strPath, CByteArray& bytes);
    // Upper-cases the path and keeps the part from its "\UI\" (or "/UI/") on,
    // with backslashes: /opt/app/ui/top_panel.htm becomes UI\TOP_PANEL.HTM.
    // When the path holds several such parts, the first one that names an
    // embedded resource is used.
    static std::string GetResourceName(std::string_view path);

    static bool MakePath(const std::string& strFolder);
    static bool MakePathForFile(const std::string& strPath);
    static void RemoveFile(const std::string& strPath);
    static bool CopyFile(const std::string& strSource, const std::string& strTarget);
    static bool CopyFileAndDecrypt(const std::string& strSource, const std::string& strTarget);
    static bool MoveFile(const std::string& strSource, const std::string& strTarget);
    static bool FileExists(const std::string& strPath);
    static bool DirectoryExists(const std::string& strPath);

    // Splits an address at the first "#"; false when it has none.
    static bool ParseFileName(std::string_view address, std::string& strFile,
                              std::string& strAnchor);
    static bool CheckExt(std::string_view name, std::string_view ext);
    static std::string GetFileExt(std::string_view name);
    // Appends every entry of the folder that matches the wildcard of the last
    // path component; true when the listing ended normally.
    static bool ReadDirectory(const std::string& strPattern, std::vector<std::string>& names);

    // Lower-cased, "/"-separated, with "." and ".." resolved, blanks and a
    // trailing separator removed: a key for comparing document addresses.
    static std::string NormalizePath(std::string_view path);
    // The address of a document relative to the documents folder, with "/"
    // separators and a leading "/".
    static std::string GetContentRelativeAddress(std::string_view text,
                                                 std::string_view documentsFolder);
    // The file of a content address: the documents folder followed by the
    // address without its leading separator.
    static std::string GetContentFilePath(std::string_view url, std::string_view documentsFolder);

    // True when the text holds a blank, a character that is neither a letter,
    // a digit nor punctuation, or a letter outside A-Z and a-z.
    static bool ContainsRusLetters(std::string_view text);

    // The user's documents folder: $XDG_DOCUMENTS_DIR, else ~/Documents.
    static std::string GetUserDocumentsFolder();
    // The user's download and desktop folders: $XDG_DOWNLOAD_DIR and
    // $XDG_DESKTOP_DIR, else what the desktop's user-dirs.dirs names, else
    // ~/Downloads and ~/Desktop.
    static std::string GetUserDownloadFolder();
    static std::string GetUserDesktopFolder();
    // Copies a form into the user's documents folder under its title; returns
    // the new file's path or an empty text.
    static std::string CopyToDesktop(const std::string& strSource, std::string_view title);
    // Copies a form into a folder (made when missing) under its title made
    // safe for a file name, with the source's extension; the path or empty.
    static std::string CopyUnderTitle(const std::string& strSource, std::string_view title,
                                      const std::string& strFolder);
};
