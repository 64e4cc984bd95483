#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Bounds on what one package may unpack, so that a hostile archive (a zip
// bomb) is stopped before it fills the disk.
struct CUnpackLimits
{
    std::uint64_t m_nMaxEntries = 500000;
    std::uint64_t m_nMaxEntryBytes = 2ULL << 30;
    std::uint64_t m_nMaxTotalBytes = 16ULL << 30;
    // Uncompressed to compressed size, for entries past 1 MiB; deflate cannot
    // exceed about 1032, ordinary content stays far below.
    std::uint64_t m_nMaxRatio = 500;
};

// The names inside an update package: every name is relative to the content
// folder and must stay inside it.
class CPackageEntry
{
public:
    // A name as stored in the archive, made relative and "/"-separated: one
    // leading separator goes, backslashes become "/", empty and "." parts
    // drop out. False,
    // with the reason, for a name that could leave the folder or name a
    // device: "..", an absolute path, a drive, ":" anywhere, a Windows device
    // name, a control character. A name that ends in "/" is a folder.
    static bool NormalizeName(std::string_view raw, std::string& strName, std::string& strReason);
    // The installed name: ".html" and ".xml" become ".dat" and are stored
    // enciphered.
    static std::string GetInstalledName(std::string_view name, bool& bEncipher);
    // The package's list of files to remove, at its root.
    static bool IsRemovalList(std::string_view name);
    // A symbolic link stored by a Unix archiver (host byte 3, type S_IFLNK).
    static bool IsSymbolicLink(std::uint64_t nVersionMadeBy, std::uint64_t nExternalAttributes);
};
