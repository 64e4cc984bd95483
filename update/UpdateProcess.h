#pragma once

#include "HttpRequest.h"
#include "PackageEntry.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

// Where a package goes: the content folder and the two style-sheet paths.
struct CUnpackTarget
{
    std::string m_strContentDir;
    std::string m_strStyleSheetSourcePath;
    std::string m_strStyleSheetPath;
};

// What an unpack reports beyond success.
struct CUnpackResult
{
    // The user's text for the failure; empty when the failure has no text of
    // its own (a damaged or refused package).
    std::string m_strErrorText;
    bool m_bOutOfSpace = false;
    // What the install was estimated to need on the disk, and what was free.
    std::uint64_t m_nNeededBytes = 0;
    std::uint64_t m_nFreeBytes = 0;
};

// One package to unpack.
struct CUnpackJob
{
    std::string m_strZipPath;
    // The last package of a run shows a full bar for a moment.
    bool m_bIsLast = false;
    // Remove the archive once it is installed, or once it failed to unpack.
    bool m_bDeleteAfter = false;
    CUnpackLimits m_limits;
    std::chrono::milliseconds m_lastPause{1000};
};

// Installs an update package (a ZIP of content files relative to the content
// folder): HTML and XML pages are stored enciphered as ".dat", a
// "remove.files" list removes files, the style sheet is moved into place.
// All of it happens in a staging copy of the content (CContentSwap) that is
// swapped in whole once every entry has unpacked with its CRC checked, so a
// failure, a kill or a full disk leaves the installed content as it was. Runs
// on a worker thread of its own (DoUpdate) or synchronously (Process).
class CUpdateProcess : public std::enable_shared_from_this<CUpdateProcess>
{
public:
    static std::shared_ptr<CUpdateProcess> DoUpdate(CRequestHandlers handlers, CUnpackTarget target,
                                                    CUnpackJob job);
    // Clears the handlers and stops the unpacking before its next entry.
    void KillProcess();

    // The unpacking itself; progress (may be empty) gets 100 * done / entries.
    // A set stop flag ends it before the next entry, as a failure.
    static bool Process(const CUnpackTarget& target, const CUnpackJob& job,
                        const std::function<void(unsigned)>& progress,
                        const std::atomic<bool>* pStop = nullptr,
                        const std::function<bool(std::chrono::milliseconds)>& pause = nullptr,
                        CUnpackResult* pResult = nullptr);
    // The failure's text for the user (see CUnpackResult), once it has ended.
    std::string GetErrorText() const;

private:
    CUpdateProcess(CRequestHandlers handlers, CUnpackTarget target, CUnpackJob job);
    void InitInstance();
    CRequestHandlers TakeHandlers();
    void ReportProgress(unsigned nPercent);

    mutable std::mutex m_mutex;
    CUnpackResult m_result;
    std::condition_variable m_killed;
    CRequestHandlers m_handlers;
    CUnpackTarget m_target;
    CUnpackJob m_job;
    std::atomic<bool> m_bStop{false};
};
