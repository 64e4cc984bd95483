#include "SystemTray.h"

#include "Logger.h"
#include "ResourceConfig.h"
#include "StringTable.h"

#include <filesystem>

CSystemTray::CSystemTray(CMessageLoop& loop) : m_loop(loop) {}

CSystemTray::~CSystemTray() = default;

std::string CSystemTray::FindIconThemePath()
{
    std::error_code error;
    const std::filesystem::path icons =
        std::filesystem::path(CResourceConfig::GetExecutableFolder()) / ".." / "share" / "icons";
    if (!std::filesystem::is_directory(icons, error))
        return {};
    return std::filesystem::canonical(icons, error).string();
}

std::string CSystemTray::FindAppIcon()
{
    const std::string strTheme = FindIconThemePath();
    const std::string strFile = strTheme + "/hicolor/128x128/apps/" KALIMOR_APP_ID ".png";
    std::error_code error;
    return !strTheme.empty() && std::filesystem::is_regular_file(strFile, error) ? strFile
                                                                                 : KALIMOR_APP_ID;
}

void CSystemTray::Create()
{
    KTRACE("CSystemTray::Create");
    CTrayItemInfo info;
    info.m_strId = KALIMOR_APP_ID;
    info.m_strTitle = CStringTable::Get(IDS_MAIN_WINDOW_TITLE);
    info.m_strToolTip = CStringTable::Get(IDS_TRAY_TOOLTIP);
    info.m_strIconName = KALIMOR_APP_ID;
    info.m_strIconThemePath = FindIconThemePath();
    info.m_menu = {{ID_APP_SHOW, "Открыть"}, {ID_APP_UPDATE, "Обновить"}, {ID_APP_EXIT, "Выход"}};
    m_pItem = std::make_unique<CStatusNotifierItem>(
        std::move(info), [this] { PostCommand(ID_APP_SHOW); },
        [this](int nId) { PostCommand(static_cast<unsigned>(nId)); });
    m_pItem->Start();
}

void CSystemTray::ShowIcon()
{
    if (m_pItem)
        m_pItem->SetVisible(true);
}

void CSystemTray::HideIcon()
{
    if (m_pItem)
        m_pItem->SetVisible(false);
}

void CSystemTray::PostCommand(unsigned nCommand)
{
    KLOG_NOTICE << "CSystemTray command " << nCommand;
    // A window that is gone by the time the message comes drops it.
    m_loop.PostMessage(CWindowMessage{m_nOwner.load(), WM_COMMAND, nCommand, 0});
}
