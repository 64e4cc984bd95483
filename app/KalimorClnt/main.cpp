// KalimorClnt: the client. Shows its windows in a browser through a loopback
// bridge; "--no-browser" prints the start address instead of opening one.
#include "KalimorClntApp.h"
#include "MemoryPolicy.h"

#include <csignal>
#include <cstring>
#include <vector>

int main(int argc, char** argv)
{
    CMemoryPolicy::SetForLongSession(); // before the first thread
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGCHLD, SIG_IGN); // browsers started for the user are not waited for
    bool bPrintUrl = false;
    std::vector<const char*> args;
    for (int i = 0; i < argc; ++i)
    {
        if (i > 0 && std::strcmp(argv[i], "--no-browser") == 0)
            bPrintUrl = true;
        else
            args.push_back(argv[i]);
    }
    CKalimorClntApp app;
    app.SetPrintUrl(bPrintUrl);
    if (!app.InitInstance(static_cast<int>(args.size()), args.data()))
    {
        app.ExitInstance();
        return 0;
    }
    app.Run();
    return app.ExitInstance();
}
