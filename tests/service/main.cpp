// A stand-alone update service on 127.0.0.1 for trying the client by hand:
// it serves the N.zip packages of a folder to the accounts given, and the
// files of its web site (the forms' files) from a folder: --site, or "site"
// beside the packages' folder when there is one. --control lets a browser
// test steer it (see CFakeUpdateService::EnableControl).
//   kalimor-fake-service [--port N] [--packages DIR] [--site DIR] [--account LOGIN:PASSWORD]...
//                        [--client VERSION] [--control]
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
    std::cerr << "usage: kalimor-fake-service [--port N] [--packages DIR] [--site DIR] [--account "
                 "LOGIN:PASSWORD]... "
                 "[--client VERSION] [--control]\n";
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
        service.AddPackage(
            std::atoi(strName.c_str()),
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
    std::string strSite;
    for (int i = 1; i < argc; ++i)
    {
        const std::string arg = argv[i];
        if (arg == "--control")
        {
            service.EnableControl();
            continue;
        }
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
            std::filesystem::path packages(value);
            if (!packages.has_filename())
                packages = packages.parent_path();
            const std::filesystem::path site = packages.parent_path() / "site";
            if (strSite.empty() && std::filesystem::is_directory(site))
                strSite = site.string();
        }
        else if (arg == "--site")
            strSite = value;
        else if (arg == "--client")
            service.SetClient(value, "kalimor_" + value + "_amd64.deb");
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
    if (!strSite.empty())
    {
        if (!service.AddWebFolder(strSite))
        {
            std::cerr << "kalimor-fake-service: cannot read " << strSite << "\n";
            return 1;
        }
        std::cout << "web site " << strSite << "\n";
    }

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
    std::cout << "listening on " << service.GetHostPort()
              << "; run the client with KALIMOR_SERVICE=" << service.GetHostPort() << std::endl;
    int nSignal = 0;
    sigwait(&signals, &nSignal);
    service.Stop();
    return 0;
}
