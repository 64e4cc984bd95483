// A stand-alone update service on 127.0.0.1 for trying the client by hand:
// it serves the N.zip packages of a folder to the accounts given.
//   kalimor-fake-service [--port N] [--packages DIR] [--account LOGIN:PASSWORD]...
#include "FakeUpdateService.h"

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>

namespace
{
int Usage()
{
    std::cerr << "usage: kalimor-fake-service [--port N] [--packages DIR] [--account LOGIN:PASSWORD]...\n";
    return 2;
}

bool LoadPackages(CFakeUpdateService& service, const std::string& strFolder)
{
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(strFolder, error))
    {
        const std::string strName = entry.path().filename().string();
        const auto nDot = strName.find('.');
        if (nDot == 0 || nDot == std::string::npos || strName.substr(nDot) != ".zip" ||
            strName.find_first_not_of("0123456789") != nDot)
            continue;
        std::ifstream in(entry.path(), std::ios::binary);
        service.AddPackage(std::atoi(strName.c_str()),
                           std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()));
        std::cout << "package " << strName << "\n";
    }
    return !error;
}
} // namespace

int main(int argc, char** argv)
{
    CFakeUpdateService service;
    unsigned nPort = 0;
    bool bAccount = false;
    for (int i = 1; i < argc; ++i)
    {
        const std::string arg = argv[i];
        if (i + 1 >= argc)
            return Usage();
        const std::string value = argv[++i];
        if (arg == "--port")
            nPort = static_cast<unsigned>(std::atoi(value.c_str()));
        else if (arg == "--packages")
        {
            if (!LoadPackages(service, value))
            {
                std::cerr << "kalimor-fake-service: cannot read " << value << "\n";
                return 1;
            }
        }
        else if (arg == "--account" && value.find(':') != std::string::npos)
        {
            service.AddAccount(value.substr(0, value.find(':')), value.substr(value.find(':') + 1));
            bAccount = true;
        }
        else
            return Usage();
    }
    if (!bAccount)
        service.AddAccount("demo", "demo123");

    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    if (!service.Start(nPort))
    {
        std::cerr << "kalimor-fake-service: cannot listen on 127.0.0.1:" << nPort << "\n";
        return 1;
    }
    std::cout << "listening on " << service.GetHostPort() << "; run the client with KALIMOR_SERVICE="
              << service.GetHostPort() << std::endl;
    int nSignal = 0;
    sigwait(&signals, &nSignal);
    service.Stop();
    return 0;
}
