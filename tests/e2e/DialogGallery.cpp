// kalimor_dialog_gallery: the client's main window and small dialogs behind
// the browser bridge, for the browser tests. It prints the start address, then
// reads commands from standard input, one a line, and runs each on the UI
// thread, printing "result COMMAND VALUE" when a modal dialog ended:
//   message FLAGS   the message dialog with those flag bits (value: the button)
//   about           the about dialog (value: the dialog's end code)
//   image PATH      the image viewer for a picture file
//   splash / close-splash   show and remove the splash dialog
//   quit
#include "BridgeServer.h"
#include "ClientContext.h"
#include "ElementBehaviors.h"
#include "MainWindow.h"
#include "MessageDlg.h"
#include "ModalViewers.h"
#include "SmallDialogs.h"
#include "WindowManager.h"

#include <iostream>
#include <sstream>
#include <thread>

namespace
{
class CGalleryContext : public CClientContext
{
public:
    explicit CGalleryContext(std::string strContent)
        : m_loader(m_resources),
          m_strContent(std::move(strContent))
    {
        Set(this);
    }
    ~CGalleryContext() override { Set(nullptr); }
    CRegistryConfig& GetRegistryConfig() override { return m_registry; }
    const CResourceConfig& GetResourceConfig() const override { return m_resources; }
    CAbstractHTMLayoutDataLoader* GetDataLoader() override { return &m_loader; }
    void SetTrayMode(bool bTrayMode) override { m_bTray = bTrayMode; }
    bool IsTrayMode() const override { return m_bTray; }
    void ShowMainWindowFromTray() override { m_bTray = false; }
    std::string GetContentFolder() const override { return m_strContent; }

    CRegistryConfig m_registry;
    CResourceConfig m_resources;
    CKalimorHTMLayoutDataLoader m_loader;
    std::string m_strContent;
    bool m_bTray = false;
};

void Answer(const std::string& strCommand, const std::string& strValue)
{
    std::cout << "result " << strCommand << " " << strValue << std::endl;
}

void RunCommand(const std::string& strLine, CClientContext& context, CMainWindow& main,
                std::unique_ptr<CSplashDlg>& pSplash, CMessageLoop& loop)
{
    std::istringstream in(strLine);
    std::string strCommand, strArgument;
    in >> strCommand;
    std::getline(in >> std::ws, strArgument);
    if (strCommand == "message")
        Answer(strLine, ShowMessage("Контент не загружен. Выполните обновление",
                                    std::stoul(strArgument), 0));
    else if (strCommand == "about")
        Answer(strLine, std::to_string(CModalViewers(context, main, main).ShowAboutBox()));
    else if (strCommand == "image")
        Answer(strLine, std::to_string(CModalViewers(context, main, main).ShowImage(strArgument)));
    else if (strCommand == "splash")
    {
        pSplash = std::make_unique<CSplashDlg>(context);
        Answer(strLine, pSplash->Create() ? "shown" : "failed");
    }
    else if (strCommand == "close-splash")
    {
        pSplash.reset();
        Answer(strLine, "closed");
    }
    else if (strCommand == "quit")
        loop.Quit(0);
}
} // namespace

int main(int argc, char** argv)
{
    CGalleryContext context(argc > 1 ? argv[1] : "");
    CMessageLoop loop;
    CWindowManager manager(loop);
    CElementBehaviors::RegisterStandard();
    CBridgeServer bridge(loop, manager, context.m_resources, context.m_loader,
                         context.m_strContent);
    if (!bridge.Start())
        return 1;
    manager.SetSink([&](const nlohmann::json& ops) { bridge.Publish(ops); });
    CMainWindow main(context, nullptr);
    if (!main.Create())
        return 1;
    manager.SetMainWindow(&main);
    main.ShowWindow(SW_SHOWMAXIMIZED);
    std::cout << bridge.GetStartUrl() << std::endl;

    std::unique_ptr<CSplashDlg> pSplash;
    std::thread reader([&] {
        std::string strLine;
        while (std::getline(std::cin, strLine) && !strLine.empty())
            loop.PostTask([&, strLine] { RunCommand(strLine, context, main, pSplash, loop); });
        loop.Quit(0); // the test went away
    });
    reader.detach();
    const int nCode = loop.Run();
    pSplash.reset();
    main.DestroyWindow();
    bridge.Stop();
    std::_Exit(nCode); // the reader may still wait on standard input
}
