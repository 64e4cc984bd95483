#pragma once

#include <cstdint>
#include <functional>
#include <string>

// Replaces the content folder as a whole. A package is installed into a
// staging folder beside the content folder (same parent, so the same file
// system): first the installed content is carried over by hard links, then
// the package writes, removes and renames there, and only a complete, synced
// staging folder is swapped in with one rename. Whatever moment a crash or a
// kill hits, the content folder is the whole old tree or the whole new one.
//
// The folders beside "<parent>/Content/":
//   Content.kalimor-staging  the tree being built; after the exchange, the
//                            old tree on its way out
//   Content.kalimor-old      only where the file system cannot exchange two
//                            folders: the old tree between its rename away and
//                            the staging folder's rename into place
// The profile folder itself is flock'ed while an install runs, so a second
// installer (the client and kalimorctl at once) neither builds over the
// first's staging folder nor removes it as a leftover.
class CContentSwap
{
public:
    // strContentDir ends with "/".
    explicit CContentSwap(std::string strContentDir);
    ~CContentSwap();
    CContentSwap(const CContentSwap&) = delete;
    CContentSwap& operator=(const CContentSwap&) = delete;

    // Takes the install lock (without waiting: false when another installer
    // holds it) and clears what a crashed install left.
    bool Lock();
    // What a crash left, mended: an old tree whose content folder is missing
    // or empty (the crash hit between the two renames of the fallback) goes
    // back into place; every other staging or old folder is removed. Safe to
    // call when nothing was left. Called at start and before every install.
    bool RemoveLeftovers();
    // A lock-taking RemoveLeftovers for the client's start: when another
    // installer holds the lock it leaves everything to that one.
    static void CleanUpAtStart(const std::string& strContentDir);

    // Builds the staging folder: every folder of the content made anew, every
    // file hard-linked (copied where the file system refuses a link), every
    // symbolic link made again as it is. Returns the staging folder, with "/",
    // or empty on failure (the staging folder is then gone).
    std::string Prepare();
    // Flushes the staging tree to the disk (every file written by the install
    // and every folder), exchanges it with the content folder, flushes the
    // parent folder, and removes the old tree. False, with the content as it
    // was, when the exchange cannot be made.
    bool Commit();
    // Removes the staging folder; the content is untouched.
    void Discard();

    const std::string& GetStagingDir() const { return m_strStagingDir; }
    // ENOSPC or EDQUOT met while building the staging folder.
    bool IsOutOfSpace() const { return m_bOutOfSpace; }

    static std::string StagingPathFor(const std::string& strContentDir);
    static std::string OldPathFor(const std::string& strContentDir);
    // Bytes free for an unprivileged writer on the file system of a folder;
    // 0 when unknown.
    static std::uint64_t FreeBytes(const std::string& strFolder);

    // Test seam: the exchange's system call. Returns 0 or -1 with errno, as
    // renameat2 does; a test makes it refuse (EINVAL) to drive the fallback.
    using ExchangeFn = std::function<int(int nDirFd, const char* szFrom, const char* szTo)>;
    static void SetExchangeForTest(ExchangeFn fn);

private:
    bool SwapIn();

    std::string m_strContentDir; // without the trailing "/"
    std::string m_strParent;
    std::string m_strName;       // "Content"
    std::string m_strStagingDir; // with "/" once prepared
    int m_nLockFd = -1;
    bool m_bOutOfSpace = false;
};
