#pragma once

#include "HttpRequest.h"
#include "PackageEntry.h"

#include <atomic>
#include <chrono>
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

// Unpacks an update package (a ZIP of content files relative to the content
// folder) over the installed content: HTML and XML pages are stored enciphered
// as ".dat", a "remove.files" list removes files, the style sheet is moved
// into place. Each file is written beside its target and renamed over it, so
// a failure never leaves half a file. Runs on a worker thread of its own
// (DoUpdate) or synchronously (Process).
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
                        const std::function<void(unsigned)>& progress, const std::atomic<bool>* pStop = nullptr,
                        const std::function<bool(std::chrono::milliseconds)>& pause = nullptr);

private:
    CUpdateProcess(CRequestHandlers handlers, CUnpackTarget target, CUnpackJob job);
    void InitInstance();
    CRequestHandlers TakeHandlers();
    void ReportProgress(unsigned nPercent);

    std::mutex m_mutex;
    std::condition_variable m_killed;
    CRequestHandlers m_handlers;
    CUnpackTarget m_target;
    CUnpackJob m_job;
    std::atomic<bool> m_bStop{false};
};
