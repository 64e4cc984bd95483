#include "StatusNotifierItem.h"

#include "Logger.h"

#include <unistd.h>

namespace
{
constexpr const char* kWatcherName = "org.kde.StatusNotifierWatcher";
constexpr const char* kWatcherPath = "/StatusNotifierWatcher";
constexpr const char* kItemPath = "/StatusNotifierItem";
constexpr const char* kMenuPath = "/MenuBar";

const char* const kItemIntrospection = R"xml(<node>
  <interface name="org.kde.StatusNotifierItem">
    <property name="Category" type="s" access="read"/>
    <property name="Id" type="s" access="read"/>
    <property name="Title" type="s" access="read"/>
    <property name="Status" type="s" access="read"/>
    <property name="WindowId" type="i" access="read"/>
    <property name="IconName" type="s" access="read"/>
    <property name="IconThemePath" type="s" access="read"/>
    <property name="IconPixmap" type="a(iiay)" access="read"/>
    <property name="OverlayIconName" type="s" access="read"/>
    <property name="OverlayIconPixmap" type="a(iiay)" access="read"/>
    <property name="AttentionIconName" type="s" access="read"/>
    <property name="AttentionIconPixmap" type="a(iiay)" access="read"/>
    <property name="AttentionMovieName" type="s" access="read"/>
    <property name="ToolTip" type="(sa(iiay)ss)" access="read"/>
    <property name="ItemIsMenu" type="b" access="read"/>
    <property name="Menu" type="o" access="read"/>
    <method name="ContextMenu"><arg name="x" type="i" direction="in"/><arg name="y" type="i" direction="in"/></method>
    <method name="Activate"><arg name="x" type="i" direction="in"/><arg name="y" type="i" direction="in"/></method>
    <method name="SecondaryActivate"><arg name="x" type="i" direction="in"/><arg name="y" type="i" direction="in"/></method>
    <method name="Scroll"><arg name="delta" type="i" direction="in"/><arg name="orientation" type="s" direction="in"/></method>
    <signal name="NewTitle"/>
    <signal name="NewIcon"/>
    <signal name="NewAttentionIcon"/>
    <signal name="NewOverlayIcon"/>
    <signal name="NewToolTip"/>
    <signal name="NewStatus"><arg name="status" type="s"/></signal>
  </interface>
</node>)xml";

CStatusNotifierItem* Item(gpointer pData)
{
    return static_cast<CStatusNotifierItem*>(pData);
}

// A reply to a call made with the item's cancellable: none when the item is
// going away, so the callbacks below do nothing more then.
GVariantPtr FinishCall(GObject* pSource, GAsyncResult* pResult, const char* szWhat,
                       bool& bCancelled)
{
    GError* pRawError = nullptr;
    GVariantPtr pReply(
        g_dbus_connection_call_finish(G_DBUS_CONNECTION(pSource), pResult, &pRawError));
    const GErrorPtr pError(pRawError);
    bCancelled = pError && g_error_matches(pError.get(), G_IO_ERROR, G_IO_ERROR_CANCELLED);
    if (pError && !bCancelled)
        KLOG_WARN << "CStatusNotifierItem " << szWhat << ": " << ErrorText(pError);
    return pReply;
}

void OnItemMethod(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* szMethod,
                  GVariant*, GDBusMethodInvocation* pInvocation, gpointer pData)
{
    Item(pData)->HandleItemCall(szMethod, pInvocation);
}

GVariant* OnItemProperty(GDBusConnection*, const gchar*, const gchar*, const gchar*,
                         const gchar* szProperty, GError**, gpointer pData)
{
    return Item(pData)->GetItemProperty(szProperty);
}

const GDBusInterfaceVTable kItemVTable{OnItemMethod, OnItemProperty, nullptr, {}};

GVariant* EmptyPixmaps()
{
    return g_variant_new_array(G_VARIANT_TYPE("(iiay)"), nullptr, 0);
}
} // namespace

CStatusNotifierItem::CStatusNotifierItem(CTrayItemInfo info, ActivateFn onActivate,
                                         CDBusMenu::ClickFn onMenu)
    : m_info(std::move(info)),
      m_onActivate(std::move(onActivate)),
      m_menu(m_info.m_menu, std::move(onMenu)),
      m_pCancellable(g_cancellable_new())
{
}

CStatusNotifierItem::~CStatusNotifierItem()
{
    m_thread.InvokeAndWait([this] { Disconnect(); });
    m_thread.Stop();
}

void CStatusNotifierItem::Start()
{
    m_thread.Invoke([this] { Connect(); });
}

void CStatusNotifierItem::SetVisible(bool bVisible)
{
    m_thread.Invoke([this, bVisible] {
        m_bWantVisible = bVisible;
        UpdateVisibility();
    });
}

void CStatusNotifierItem::Connect()
{
    GError* pRawError = nullptr;
    const GCharPtr pAddress(
        g_dbus_address_get_for_bus_sync(G_BUS_TYPE_SESSION, m_pCancellable.get(), &pRawError));
    GErrorPtr pError(pRawError);
    if (pAddress)
    {
        m_pConnection.reset(g_dbus_connection_new_for_address_sync(
            pAddress.get(),
            GDBusConnectionFlags(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                 G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
            nullptr, m_pCancellable.get(), &pRawError));
        pError.reset(pRawError);
    }
    if (!m_pConnection)
    {
        KLOG_NOTICE << "CStatusNotifierItem: no session bus, so no tray icon: "
                    << ErrorText(pError);
        return;
    }
    const GDBusNodeInfoPtr pNode(g_dbus_node_info_new_for_xml(kItemIntrospection, nullptr));
    m_nItemObject =
        g_dbus_connection_register_object(m_pConnection.get(), kItemPath, pNode->interfaces[0],
                                          &kItemVTable, this, nullptr, &pRawError);
    pError.reset(pRawError);
    if (m_nItemObject == 0 || !m_menu.Export(m_pConnection.get(), kMenuPath))
    {
        KLOG_ERR << "CStatusNotifierItem can't export the tray icon: " << ErrorText(pError);
        Disconnect();
        return;
    }
    m_nSignals = g_dbus_connection_signal_subscribe(
        m_pConnection.get(), kWatcherName, kWatcherName, nullptr, kWatcherPath, nullptr,
        G_DBUS_SIGNAL_FLAGS_NONE,
        [](GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* szSignal,
           GVariant*, gpointer pData) { Item(pData)->OnWatcherSignal(szSignal); },
        this, nullptr);
    m_nWatch = g_bus_watch_name_on_connection(
        m_pConnection.get(), kWatcherName, G_BUS_NAME_WATCHER_FLAGS_NONE,
        [](GDBusConnection*, const gchar*, const gchar*, gpointer pData) {
            Item(pData)->OnWatcherAppeared();
        },
        [](GDBusConnection*, const gchar*, gpointer pData) { Item(pData)->OnWatcherVanished(); },
        this, nullptr);
    UpdateVisibility();
}

void CStatusNotifierItem::Disconnect()
{
    g_cancellable_cancel(m_pCancellable.get());
    if (m_nWatch != 0)
        g_bus_unwatch_name(m_nWatch);
    if (m_nOwner != 0)
        g_bus_unown_name(m_nOwner);
    if (m_nSignals != 0)
        g_dbus_connection_signal_unsubscribe(m_pConnection.get(), m_nSignals);
    if (m_nItemObject != 0)
        g_dbus_connection_unregister_object(m_pConnection.get(), m_nItemObject);
    m_menu.Unexport();
    m_nWatch = m_nOwner = m_nSignals = m_nItemObject = 0;
    if (m_pConnection)
        g_dbus_connection_close_sync(m_pConnection.get(), nullptr, nullptr);
    m_pConnection.reset();
    m_bWatcherPresent = m_bRegistered = false;
}

void CStatusNotifierItem::UpdateVisibility()
{
    if (!m_pConnection)
        return;
    if (m_bWantVisible && m_nOwner == 0)
    {
        // A name of its own per showing: giving it up is what removes the icon.
        m_strBusName = "org.kde.StatusNotifierItem-" + std::to_string(::getpid()) + "-" +
                       std::to_string(++m_nNameSerial);
        m_nOwner = g_bus_own_name_on_connection(
            m_pConnection.get(), m_strBusName.c_str(), G_BUS_NAME_OWNER_FLAGS_DO_NOT_QUEUE,
            [](GDBusConnection*, const gchar*, gpointer pData) { Item(pData)->OnNameAcquired(); },
            [](GDBusConnection*, const gchar*, gpointer pData) { Item(pData)->OnNameLost(); }, this,
            nullptr);
    }
    else if (!m_bWantVisible && m_nOwner != 0)
    {
        g_bus_unown_name(m_nOwner);
        m_nOwner = 0;
        m_bNameOwned = false;
        m_bRegistered = false;
    }
}

void CStatusNotifierItem::OnNameAcquired()
{
    m_bNameOwned = true;
    Register();
}

void CStatusNotifierItem::OnNameLost()
{
    KLOG_WARN << "CStatusNotifierItem lost its bus name " << m_strBusName;
    m_bNameOwned = false;
    m_bRegistered = false;
}

void CStatusNotifierItem::Register()
{
    if (!m_bNameOwned || !m_bWatcherPresent)
        return;
    g_dbus_connection_call(
        m_pConnection.get(), kWatcherName, kWatcherPath, kWatcherName, "RegisterStatusNotifierItem",
        g_variant_new("(s)", m_strBusName.c_str()), nullptr, G_DBUS_CALL_FLAGS_NONE, -1,
        m_pCancellable.get(),
        [](GObject* pSource, GAsyncResult* pResult, gpointer pData) {
            bool bCancelled = false;
            const GVariantPtr pReply =
                FinishCall(pSource, pResult, "can't register the tray icon", bCancelled);
            if (!bCancelled)
                Item(pData)->OnRegistered(pReply != nullptr);
        },
        this);
}

void CStatusNotifierItem::OnRegistered(bool bDone)
{
    // The icon may have been taken away while the call was under way.
    m_bRegistered = bDone && m_bNameOwned;
    if (m_bRegistered)
        KLOG_NOTICE << "CStatusNotifierItem: the tray icon is shown as " << m_strBusName;
}

void CStatusNotifierItem::OnWatcherAppeared()
{
    m_bWatcherPresent = true;
    // Until the watcher says otherwise, a watcher comes with its host.
    m_bHostRegistered = true;
    AskHostRegistered();
    Register();
}

void CStatusNotifierItem::OnWatcherVanished()
{
    m_bWatcherPresent = false;
    m_bRegistered = false;
}

void CStatusNotifierItem::OnWatcherSignal(const gchar* szSignal)
{
    if (g_strcmp0(szSignal, "StatusNotifierHostRegistered") == 0)
        m_bHostRegistered = true;
    else if (g_strcmp0(szSignal, "StatusNotifierHostUnregistered") == 0)
        AskHostRegistered(); // another host may still be there
}

void CStatusNotifierItem::AskHostRegistered()
{
    g_dbus_connection_call(
        m_pConnection.get(), kWatcherName, kWatcherPath, "org.freedesktop.DBus.Properties", "Get",
        g_variant_new("(ss)", kWatcherName, "IsStatusNotifierHostRegistered"),
        G_VARIANT_TYPE("(v)"), G_DBUS_CALL_FLAGS_NONE, -1, m_pCancellable.get(),
        [](GObject* pSource, GAsyncResult* pResult, gpointer pData) {
            bool bCancelled = false;
            const GVariantPtr pReply =
                FinishCall(pSource, pResult, "can't ask for a tray host", bCancelled);
            if (bCancelled || !pReply)
                return;
            GVariant* pValue = nullptr;
            g_variant_get(pReply.get(), "(v)", &pValue);
            const GVariantPtr pOwned(pValue);
            Item(pData)->OnHostProperty(pValue);
        },
        this);
}

void CStatusNotifierItem::OnHostProperty(GVariant* pValue)
{
    if (g_variant_is_of_type(pValue, G_VARIANT_TYPE_BOOLEAN))
        m_bHostRegistered = g_variant_get_boolean(pValue) != FALSE;
    if (!m_bHostRegistered)
        KLOG_NOTICE << "CStatusNotifierItem: the tray has no host to show icons";
}

void CStatusNotifierItem::HandleItemCall(const gchar* szMethod, GDBusMethodInvocation* pInvocation)
{
    const std::string_view method(szMethod);
    // A left click (or a double click) opens; the menu is the host's, over
    // dbusmenu, so a host that asks the item for a menu of its own gets none.
    if ((method == "Activate" || method == "SecondaryActivate") && m_onActivate)
        m_onActivate();
    if (method == "Activate" || method == "SecondaryActivate" || method == "ContextMenu" ||
        method == "Scroll")
        g_dbus_method_invocation_return_value(pInvocation, nullptr);
    else
        g_dbus_method_invocation_return_error(
            pInvocation, G_DBUS_ERROR, G_DBUS_ERROR_UNKNOWN_METHOD, "unknown method %s", szMethod);
}

GVariant* CStatusNotifierItem::GetItemProperty(const gchar* szProperty) const
{
    const std::string_view property(szProperty);
    if (property == "Category")
        return g_variant_new_string("ApplicationStatus");
    if (property == "Id")
        return g_variant_new_string(m_info.m_strId.c_str());
    if (property == "Title")
        return g_variant_new_string(m_info.m_strTitle.c_str());
    if (property == "Status")
        return g_variant_new_string("Active");
    if (property == "WindowId")
        return g_variant_new_int32(0);
    if (property == "IconName")
        return g_variant_new_string(m_info.m_strIconName.c_str());
    if (property == "IconThemePath")
        return g_variant_new_string(m_info.m_strIconThemePath.c_str());
    if (property == "IconPixmap" || property == "OverlayIconPixmap" ||
        property == "AttentionIconPixmap")
        return EmptyPixmaps();
    if (property == "OverlayIconName" || property == "AttentionIconName" ||
        property == "AttentionMovieName")
        return g_variant_new_string("");
    if (property == "ToolTip")
        return g_variant_new("(s@a(iiay)ss)", "", EmptyPixmaps(), m_info.m_strToolTip.c_str(), "");
    if (property == "ItemIsMenu")
        return g_variant_new_boolean(FALSE);
    if (property == "Menu")
        return g_variant_new_object_path(kMenuPath);
    return nullptr;
}
