#include "DesktopNotifier.h"

#include "Logger.h"
#include "StringTable.h"

namespace
{
constexpr const char* kUpdateFailed = "Обновление не выполнено";
} // namespace

CDesktopNotifier::CDesktopNotifier(std::string strAppName, std::string strDesktopId,
                                   std::string strIcon)
    : m_strAppName(std::move(strAppName)),
      m_strDesktopId(std::move(strDesktopId)),
      m_strIcon(std::move(strIcon))
{
}

CDesktopNotifier::~CDesktopNotifier()
{
    m_thread.InvokeAndWait([this] {
        m_pNotification.reset();
        if (m_bInitialised)
            notify_uninit();
    });
    m_thread.Stop();
}

void CDesktopNotifier::ShowUpdateStarted()
{
    Show(std::string(CStringTable::Get(IDS_UPDATE_TRAY_BALLOON)), NOTIFY_URGENCY_LOW);
}

void CDesktopNotifier::ShowUpdateFinished(bool bInstalled)
{
    Show(std::string(CStringTable::Get(bInstalled ? IDS_UPDATE_DONE : IDS_UPDATE_UP_TO_DATE)),
         NOTIFY_URGENCY_NORMAL);
}

void CDesktopNotifier::ShowUpdateFailed(std::string_view message)
{
    Show(message.empty() ? std::string(kUpdateFailed) : std::string(message),
         NOTIFY_URGENCY_NORMAL);
}

void CDesktopNotifier::Flush()
{
    m_thread.InvokeAndWait([] {});
}

void CDesktopNotifier::Show(std::string strBody, NotifyUrgency urgency)
{
    KLOG_NOTICE << "CDesktopNotifier: " << strBody;
    m_thread.Invoke([this, strBody = std::move(strBody), urgency] {
        if (!m_bInitialised && !(m_bInitialised = notify_init(m_strAppName.c_str())))
        {
            KLOG_WARN << "CDesktopNotifier can't reach the desktop's notifications";
            return;
        }
        // The same bubble each time: the server replaces what it shows.
        if (!m_pNotification)
            m_pNotification.reset(
                notify_notification_new(m_strAppName.c_str(), strBody.c_str(), m_strIcon.c_str()));
        else
            notify_notification_update(m_pNotification.get(), m_strAppName.c_str(), strBody.c_str(),
                                       m_strIcon.c_str());
        notify_notification_set_urgency(m_pNotification.get(), urgency);
        notify_notification_set_hint(m_pNotification.get(), "desktop-entry",
                                     g_variant_new_string(m_strDesktopId.c_str()));
        GError* pRawError = nullptr;
        if (!notify_notification_show(m_pNotification.get(), &pRawError))
        {
            const GErrorPtr pError(pRawError);
            KLOG_WARN << "CDesktopNotifier can't show a notification: " << ErrorText(pError);
        }
    });
}
