// kalimor-fake-desktop: a private session bus with a tray (a
// StatusNotifierWatcher and its host) and a notification server, left running
// in the background for the browser tests.
//   kalimor-fake-desktop --log FILE --watch-pid PID [--no-watcher] [--no-host]
// Prints "bus ADDRESS" and "pid PID" once everything is up and returns. The
// desktop it leaves behind writes one line to FILE for each thing that
// happens: "item NAME" when an icon is registered, "gone NAME" when it leaves,
// "notify SUMMARY|BODY" for a notification. It ends with the process PID (the
// test) or on SIGTERM. The tests act on the icon as a panel does, over the bus.
// Exit status 77 when no bus can be started (the tests are skipped then).
#include "FakeDesktop.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>

namespace
{
volatile std::sig_atomic_t g_bStop = 0;

void Report(const CFakeDesktop& desktop, std::ofstream& log, std::vector<std::string>& items,
            std::size_t& nNotes)
{
    const std::vector<std::string> now = desktop.GetItems();
    for (const std::string& strItem : now)
        if (std::find(items.begin(), items.end(), strItem) == items.end())
            log << "item " << strItem << std::endl;
    for (const std::string& strItem : items)
        if (std::find(now.begin(), now.end(), strItem) == now.end())
            log << "gone " << strItem << std::endl;
    items = now;
    const std::vector<CReceivedNotification> notes = desktop.GetNotifications();
    for (; nNotes < notes.size(); ++nNotes)
        log << "notify " << notes[nNotes].m_strSummary << "|" << notes[nNotes].m_strBody
            << std::endl;
}

// The background part: its findings go to the pipe, then it serves until
// the watched process ends.
int Serve(int nReport, const std::string& strLog, pid_t watched, CFakeDesktop::COptions options)
{
    CPrivateSessionBus bus;
    std::string strHello = bus.IsRunning() ? "" : "skip " + bus.GetProblem() + "\n";
    std::unique_ptr<CFakeDesktop> pDesktop;
    if (bus.IsRunning())
    {
        pDesktop = std::make_unique<CFakeDesktop>(bus.GetAddress(), options);
        strHello = pDesktop->IsReady()
                       ? "bus " + bus.GetAddress() + "\npid " + std::to_string(::getpid()) + "\n"
                       : "skip the fake desktop could not take its names\n";
    }
    const bool bReady = pDesktop && pDesktop->IsReady();
    if (::write(nReport, strHello.data(), strHello.size()) < 0 || !bReady)
        return 77;
    ::close(nReport);
    std::ofstream log(strLog, std::ios::app);
    std::vector<std::string> items;
    std::size_t nNotes = 0;
    while (!g_bStop && ::kill(watched, 0) == 0)
    {
        Report(*pDesktop, log, items, nNotes);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return 0;
}
} // namespace

int main(int argc, char** argv)
{
    CFakeDesktop::COptions options;
    std::string strLog = "/dev/null";
    pid_t watched = ::getppid();
    for (int i = 1; i < argc; ++i)
    {
        if (std::strcmp(argv[i], "--no-watcher") == 0)
            options.m_bWatcher = false;
        else if (std::strcmp(argv[i], "--no-host") == 0)
            options.m_bHost = false;
        else if (std::strcmp(argv[i], "--log") == 0 && i + 1 < argc)
            strLog = argv[++i];
        else if (std::strcmp(argv[i], "--watch-pid") == 0 && i + 1 < argc)
            watched = static_cast<pid_t>(std::atoi(argv[++i]));
    }
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0)
        return 1;
    const pid_t child = ::fork();
    if (child == 0)
    {
        ::close(pipeFds[0]);
        ::setsid();
        // The caller waits for its output to end: nothing of it is kept open.
        const int nNull = ::open("/dev/null", O_RDWR);
        for (const int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO})
            ::dup2(nNull, fd);
        ::close(nNull);
        std::signal(SIGTERM, [](int) { g_bStop = 1; });
        std::signal(SIGINT, SIG_IGN);
        std::signal(SIGHUP, SIG_IGN);
        return Serve(pipeFds[1], strLog, watched, options);
    }
    ::close(pipeFds[1]);
    std::string strHello;
    char buffer[512];
    for (ssize_t nRead; (nRead = ::read(pipeFds[0], buffer, sizeof(buffer))) > 0;)
        strHello.append(buffer, static_cast<std::size_t>(nRead));
    if (::write(STDOUT_FILENO, strHello.data(), strHello.size()) < 0)
        return 1;
    return strHello.starts_with("bus ") ? 0 : 77;
}
