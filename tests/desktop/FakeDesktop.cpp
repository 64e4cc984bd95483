#include "FakeDesktop.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>

extern char** environ;

namespace
{
constexpr const char* kWatcherName = "org.kde.StatusNotifierWatcher";
constexpr const char* kNotificationsName = "org.freedesktop.Notifications";

// Everything allowed, nothing activated: no service of the machine starts on
// the test's bus.
constexpr const char* kBusConfig =
    R"(<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:dir=@DIR@</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
)";

const char* const kWatcherXml = R"xml(<node>
  <interface name="org.kde.StatusNotifierWatcher">
    <method name="RegisterStatusNotifierItem"><arg name="service" type="s" direction="in"/></method>
    <method name="RegisterStatusNotifierHost"><arg name="service" type="s" direction="in"/></method>
    <property name="RegisteredStatusNotifierItems" type="as" access="read"/>
    <property name="IsStatusNotifierHostRegistered" type="b" access="read"/>
    <property name="ProtocolVersion" type="i" access="read"/>
    <signal name="StatusNotifierItemRegistered"><arg type="s"/></signal>
    <signal name="StatusNotifierItemUnregistered"><arg type="s"/></signal>
    <signal name="StatusNotifierHostRegistered"/>
  </interface>
</node>)xml";

const char* const kNotificationsXml = R"xml(<node>
  <interface name="org.freedesktop.Notifications">
    <method name="Notify">
      <arg type="s" direction="in"/><arg type="u" direction="in"/><arg type="s" direction="in"/>
      <arg type="s" direction="in"/><arg type="s" direction="in"/><arg type="as" direction="in"/>
      <arg type="a{sv}" direction="in"/><arg type="i" direction="in"/><arg type="u" direction="out"/>
    </method>
    <method name="CloseNotification"><arg type="u" direction="in"/></method>
    <method name="GetCapabilities"><arg type="as" direction="out"/></method>
    <method name="GetServerInformation">
      <arg type="s" direction="out"/><arg type="s" direction="out"/><arg type="s" direction="out"/><arg type="s" direction="out"/>
    </method>
  </interface>
</node>)xml";

CFakeDesktop* Desktop(gpointer pData)
{
    return static_cast<CFakeDesktop*>(pData);
}

const GDBusInterfaceVTable kWatcherVTable{
    [](GDBusConnection*, const gchar* szSender, const gchar*, const gchar*, const gchar* szMethod,
       GVariant* pParameters, GDBusMethodInvocation* pInvocation, gpointer pData) {
        Desktop(pData)->HandleWatcherCall(szSender, szMethod, pParameters, pInvocation);
    },
    [](GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* szProperty,
       GError**, gpointer pData) { return Desktop(pData)->GetWatcherProperty(szProperty); },
    nullptr,
    {}};

const GDBusInterfaceVTable kNotificationsVTable{
    [](GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* szMethod,
       GVariant* pParameters, GDBusMethodInvocation* pInvocation, gpointer pData) {
        Desktop(pData)->HandleNotificationsCall(szMethod, pParameters, pInvocation);
    },
    nullptr,
    nullptr,
    {}};

std::string ReadLine(int fd, std::chrono::milliseconds timeout)
{
    std::string line;
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (line.empty() || line.back() != '\n')
    {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            end - std::chrono::steady_clock::now());
        pollfd poll{fd, POLLIN, 0};
        char c = 0;
        if (left.count() <= 0 || ::poll(&poll, 1, static_cast<int>(left.count())) <= 0 ||
            ::read(fd, &c, 1) != 1)
            return {};
        line += c;
    }
    line.pop_back();
    return line;
}
} // namespace

CPrivateSessionBus::CPrivateSessionBus()
{
    char szFolder[] = "/tmp/kalimor-bus-XXXXXX";
    if (!::mkdtemp(szFolder))
    {
        m_strProblem = "no temporary folder";
        return;
    }
    m_strFolder = szFolder;
    std::string config = kBusConfig;
    config.replace(config.find("@DIR@"), 5, m_strFolder);
    const std::string strConfig = m_strFolder + "/bus.conf";
    std::ofstream(strConfig) << config;

    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0)
    {
        m_strProblem = "no pipe";
        return;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 3);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const std::string strConfigArg = "--config-file=" + strConfig;
    const char* argv[] = {"dbus-daemon", strConfigArg.c_str(), "--nofork",
                          "--nopidfile", "--print-address=3",  nullptr};
    const int nSpawn =
        ::posix_spawnp(&m_pid, "dbus-daemon", &actions, nullptr, const_cast<char**>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFds[1]);
    if (nSpawn != 0)
    {
        m_pid = -1;
        m_strProblem = "dbus-daemon cannot be started (Debian's dbus-daemon package)";
    }
    else if ((m_strAddress = ReadLine(pipeFds[0], std::chrono::seconds(10))).empty())
        m_strProblem = "dbus-daemon gave no address";
    ::close(pipeFds[0]);
}

CPrivateSessionBus::~CPrivateSessionBus()
{
    if (m_pid > 0)
    {
        ::kill(m_pid, SIGTERM);
        ::waitpid(m_pid, nullptr, 0);
    }
    if (!m_strFolder.empty())
    {
        std::error_code error;
        std::filesystem::remove_all(m_strFolder, error);
    }
}

void CPrivateBusFixture::SetUp()
{
    KALIMOR_SKIP_WITHOUT_BUS(bus);
    env = std::make_unique<CScopedEnv>("DBUS_SESSION_BUS_ADDRESS", bus.GetAddress());
}

CFakeDesktop::CFakeDesktop(const std::string& strAddress, COptions options) : m_options(options)
{
    m_thread.InvokeAndWait([this, &strAddress] { Connect(strAddress); });
    std::unique_lock lock(m_mutex);
    m_changed.wait_for(lock, std::chrono::seconds(10), [this] { return m_nNamesWanted == 0; });
    m_bReady = m_pConnection && m_nNamesWanted == 0;
}

CFakeDesktop::~CFakeDesktop()
{
    m_thread.InvokeAndWait([this] { Disconnect(); });
    m_thread.Stop();
}

void CFakeDesktop::Connect(const std::string& strAddress)
{
    m_pConnection.reset(g_dbus_connection_new_for_address_sync(
        strAddress.c_str(),
        GDBusConnectionFlags(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                             G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, nullptr, nullptr));
    if (!m_pConnection)
        return;
    const auto publish = [this](const char* szXml, const char* szPath,
                                const GDBusInterfaceVTable& vtable, const char* szName) {
        const GDBusNodeInfoPtr pNode(g_dbus_node_info_new_for_xml(szXml, nullptr));
        m_objects.push_back(g_dbus_connection_register_object(
            m_pConnection.get(), szPath, pNode->interfaces[0], &vtable, this, nullptr, nullptr));
        ++m_nNamesWanted;
        m_owners.push_back(g_bus_own_name_on_connection(
            m_pConnection.get(), szName, G_BUS_NAME_OWNER_FLAGS_NONE,
            [](GDBusConnection*, const gchar*, gpointer pData) {
                Desktop(pData)->OnNameAcquired();
            },
            nullptr, this, nullptr));
    };
    if (m_options.m_bWatcher)
        publish(kWatcherXml, "/StatusNotifierWatcher", kWatcherVTable, kWatcherName);
    if (m_options.m_bNotifications)
        publish(kNotificationsXml, "/org/freedesktop/Notifications", kNotificationsVTable,
                kNotificationsName);
    // Items leave when their name does.
    m_nNameWatch = g_dbus_connection_signal_subscribe(
        m_pConnection.get(), "org.freedesktop.DBus", "org.freedesktop.DBus", "NameOwnerChanged",
        "/org/freedesktop/DBus", nullptr, G_DBUS_SIGNAL_FLAGS_NONE,
        [](GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*,
           GVariant* pParameters, gpointer pData) {
            const gchar *szName = nullptr, *szOld = nullptr, *szNew = nullptr;
            g_variant_get(pParameters, "(&s&s&s)", &szName, &szOld, &szNew);
            Desktop(pData)->OnNameOwnerChanged(szName, szNew);
        },
        this, nullptr);
}

void CFakeDesktop::Disconnect()
{
    for (const unsigned nOwner : m_owners)
        g_bus_unown_name(nOwner);
    if (!m_pConnection)
        return;
    for (const unsigned nObject : m_objects)
        g_dbus_connection_unregister_object(m_pConnection.get(), nObject);
    g_dbus_connection_signal_unsubscribe(m_pConnection.get(), m_nNameWatch);
    g_dbus_connection_close_sync(m_pConnection.get(), nullptr, nullptr);
    m_pConnection.reset();
}

void CFakeDesktop::OnNameAcquired()
{
    std::lock_guard lock(m_mutex);
    --m_nNamesWanted;
    m_changed.notify_all();
}

void CFakeDesktop::OnNameOwnerChanged(const gchar* szName, const gchar* szNewOwner)
{
    if (szNewOwner && *szNewOwner)
        return;
    std::lock_guard lock(m_mutex);
    const auto it = std::find(m_items.begin(), m_items.end(), szName);
    if (it == m_items.end())
        return;
    m_items.erase(it);
    m_changed.notify_all();
    g_dbus_connection_emit_signal(m_pConnection.get(), nullptr, "/StatusNotifierWatcher",
                                  kWatcherName, "StatusNotifierItemUnregistered",
                                  g_variant_new("(s)", szName), nullptr);
}

void CFakeDesktop::HandleWatcherCall(const gchar* szSender, const gchar* szMethod,
                                     GVariant* pParameters, GDBusMethodInvocation* pInvocation)
{
    if (g_strcmp0(szMethod, "RegisterStatusNotifierItem") == 0)
    {
        const gchar* szService = nullptr;
        g_variant_get(pParameters, "(&s)", &szService);
        // A path alone stands for an object of the caller's.
        const std::string strName = szService[0] == '/' ? szSender : szService;
        {
            std::lock_guard lock(m_mutex);
            if (std::find(m_items.begin(), m_items.end(), strName) == m_items.end())
                m_items.push_back(strName);
            m_changed.notify_all();
        }
        g_dbus_connection_emit_signal(m_pConnection.get(), nullptr, "/StatusNotifierWatcher",
                                      kWatcherName, "StatusNotifierItemRegistered",
                                      g_variant_new("(s)", strName.c_str()), nullptr);
    }
    g_dbus_method_invocation_return_value(pInvocation, nullptr);
}

GVariant* CFakeDesktop::GetWatcherProperty(const gchar* szProperty) const
{
    if (g_strcmp0(szProperty, "IsStatusNotifierHostRegistered") == 0)
        return g_variant_new_boolean(m_options.m_bHost);
    if (g_strcmp0(szProperty, "ProtocolVersion") == 0)
        return g_variant_new_int32(0);
    GVariantBuilder items;
    g_variant_builder_init(&items, G_VARIANT_TYPE("as"));
    for (const std::string& strItem : GetItems())
        g_variant_builder_add(&items, "s", strItem.c_str());
    return g_variant_builder_end(&items);
}

void CFakeDesktop::HandleNotificationsCall(const gchar* szMethod, GVariant* pParameters,
                                           GDBusMethodInvocation* pInvocation)
{
    const std::string_view method(szMethod);
    if (method == "GetCapabilities")
    {
        const gchar* const capabilities[] = {"body", nullptr};
        g_dbus_method_invocation_return_value(pInvocation, g_variant_new("(^as)", capabilities));
        return;
    }
    if (method == "GetServerInformation")
    {
        g_dbus_method_invocation_return_value(pInvocation,
                                              g_variant_new("(ssss)", "fake", "test", "1", "1.2"));
        return;
    }
    if (method != "Notify")
    {
        g_dbus_method_invocation_return_value(pInvocation, nullptr);
        return;
    }
    CReceivedNotification note;
    const gchar *szApp = nullptr, *szIcon = nullptr, *szSummary = nullptr, *szBody = nullptr;
    GVariant* pHints = nullptr;
    g_variant_get(pParameters, "(&su&s&s&sas@a{sv}i)", &szApp, &note.m_nReplacesId, &szIcon,
                  &szSummary, &szBody, nullptr, &pHints, nullptr);
    const GVariantPtr pOwnedHints(pHints);
    note.m_strAppName = szApp;
    note.m_strIcon = szIcon;
    note.m_strSummary = szSummary;
    note.m_strBody = szBody;
    const gchar* szEntry = nullptr;
    if (g_variant_lookup(pHints, "desktop-entry", "&s", &szEntry))
        note.m_strDesktopEntry = szEntry;
    guchar nUrgency = 0;
    if (g_variant_lookup(pHints, "urgency", "y", &nUrgency))
        note.m_nUrgency = nUrgency;
    {
        std::lock_guard lock(m_mutex);
        note.m_nId = note.m_nReplacesId != 0 ? note.m_nReplacesId : m_nNextNotification++;
        m_notifications.push_back(note);
        m_changed.notify_all();
    }
    g_dbus_method_invocation_return_value(pInvocation, g_variant_new("(u)", note.m_nId));
}

std::vector<std::string> CFakeDesktop::GetItems() const
{
    std::lock_guard lock(m_mutex);
    return m_items;
}

bool CFakeDesktop::WaitForItems(std::size_t n, std::chrono::milliseconds timeout) const
{
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, timeout, [&] { return m_items.size() == n; });
}

std::vector<CReceivedNotification> CFakeDesktop::GetNotifications() const
{
    std::lock_guard lock(m_mutex);
    return m_notifications;
}

bool CFakeDesktop::WaitForNotifications(std::size_t n, std::chrono::milliseconds timeout) const
{
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, timeout, [&] { return m_notifications.size() >= n; });
}

GVariantPtr CFakeDesktop::Call(const char* szPath, const char* szInterface, const char* szMethod,
                               GVariant* pParameters, std::string* pError) const
{
    const std::vector<std::string> items = GetItems();
    if (items.empty() || !m_pConnection)
    {
        if (pParameters)
            g_variant_unref(g_variant_ref_sink(pParameters));
        if (pError)
            *pError = "no item";
        return nullptr;
    }
    GError* pRawError = nullptr;
    GVariantPtr pReply(g_dbus_connection_call_sync(
        m_pConnection.get(), items.front().c_str(), szPath, szInterface, szMethod, pParameters,
        nullptr, G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, &pRawError));
    const GErrorPtr pCallError(pRawError);
    if (pError)
        *pError = pCallError ? ErrorText(pCallError) : "";
    return pReply;
}

GVariantPtr CFakeDesktop::CallItem(const char* szMethod, GVariant* pParameters,
                                   std::string* pError) const
{
    return Call("/StatusNotifierItem", "org.kde.StatusNotifierItem", szMethod, pParameters, pError);
}

GVariantPtr CFakeDesktop::CallMenu(const char* szMethod, GVariant* pParameters,
                                   std::string* pError) const
{
    return Call("/MenuBar", "com.canonical.dbusmenu", szMethod, pParameters, pError);
}

GVariantPtr CFakeDesktop::GetItemProperty(const char* szProperty) const
{
    GVariantPtr pReply =
        Call("/StatusNotifierItem", "org.freedesktop.DBus.Properties", "Get",
             g_variant_new("(ss)", "org.kde.StatusNotifierItem", szProperty), nullptr);
    if (!pReply)
        return nullptr;
    GVariant* pValue = nullptr;
    g_variant_get(pReply.get(), "(v)", &pValue);
    return GVariantPtr(pValue);
}

bool CFakeDesktop::Activate() const
{
    return CallItem("Activate", g_variant_new("(ii)", 0, 0)) != nullptr;
}

bool CFakeDesktop::ClickMenu(int nId) const
{
    return CallMenu("Event", g_variant_new("(isvu)", nId, "clicked", g_variant_new_int32(0), 0u)) !=
           nullptr;
}
