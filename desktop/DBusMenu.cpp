#include "DBusMenu.h"

#include "Logger.h"

#include <algorithm>

namespace
{
constexpr int kRootId = 0;
constexpr const char* kInterface = "com.canonical.dbusmenu";

const char* const kIntrospection = R"xml(<node>
  <interface name="com.canonical.dbusmenu">
    <property name="Version" type="u" access="read"/>
    <property name="TextDirection" type="s" access="read"/>
    <property name="Status" type="s" access="read"/>
    <property name="IconThemePath" type="as" access="read"/>
    <method name="GetLayout">
      <arg type="i" name="parentId" direction="in"/>
      <arg type="i" name="recursionDepth" direction="in"/>
      <arg type="as" name="propertyNames" direction="in"/>
      <arg type="u" name="revision" direction="out"/>
      <arg type="(ia{sv}av)" name="layout" direction="out"/>
    </method>
    <method name="GetGroupProperties">
      <arg type="ai" name="ids" direction="in"/>
      <arg type="as" name="propertyNames" direction="in"/>
      <arg type="a(ia{sv})" name="properties" direction="out"/>
    </method>
    <method name="GetProperty">
      <arg type="i" name="id" direction="in"/>
      <arg type="s" name="name" direction="in"/>
      <arg type="v" name="value" direction="out"/>
    </method>
    <method name="Event">
      <arg type="i" name="id" direction="in"/>
      <arg type="s" name="eventId" direction="in"/>
      <arg type="v" name="data" direction="in"/>
      <arg type="u" name="timestamp" direction="in"/>
    </method>
    <method name="EventGroup">
      <arg type="a(isvu)" name="events" direction="in"/>
      <arg type="ai" name="idErrors" direction="out"/>
    </method>
    <method name="AboutToShow">
      <arg type="i" name="id" direction="in"/>
      <arg type="b" name="needUpdate" direction="out"/>
    </method>
    <method name="AboutToShowGroup">
      <arg type="ai" name="ids" direction="in"/>
      <arg type="ai" name="updatesNeeded" direction="out"/>
      <arg type="ai" name="idErrors" direction="out"/>
    </method>
    <signal name="ItemsPropertiesUpdated">
      <arg type="a(ia{sv})" name="updatedProps"/>
      <arg type="a(ia{s})" name="removedProps"/>
    </signal>
    <signal name="LayoutUpdated">
      <arg type="u" name="revision"/>
      <arg type="i" name="parent"/>
    </signal>
    <signal name="ItemActivationRequested">
      <arg type="i" name="id"/>
      <arg type="u" name="timestamp"/>
    </signal>
  </interface>
</node>)xml";

// True when the property is asked for: an empty list asks for all.
bool Wanted(GVariant* pNames, const char* szName)
{
    if (!pNames || g_variant_n_children(pNames) == 0)
        return true;
    GVariantIter iter;
    g_variant_iter_init(&iter, pNames);
    const gchar* szWanted = nullptr;
    while (g_variant_iter_next(&iter, "&s", &szWanted))
        if (g_strcmp0(szWanted, szName) == 0)
            return true;
    return false;
}

void AddIfWanted(GVariantBuilder& builder, GVariant* pNames, const char* szName, GVariant* pValue)
{
    g_variant_ref_sink(pValue);
    if (Wanted(pNames, szName))
        g_variant_builder_add(&builder, "{sv}", szName, pValue);
    g_variant_unref(pValue);
}

void ReturnInvalidId(GDBusMethodInvocation* pInvocation, int nId)
{
    g_dbus_method_invocation_return_error(pInvocation, G_DBUS_ERROR, G_DBUS_ERROR_INVALID_ARGS,
                                          "no menu item %d", nId);
}

void OnMethodCall(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* szMethod,
                  GVariant* pParameters, GDBusMethodInvocation* pInvocation, gpointer pData)
{
    static_cast<CDBusMenu*>(pData)->HandleCall(szMethod, pParameters, pInvocation);
}

GVariant* OnGetProperty(GDBusConnection*, const gchar*, const gchar*, const gchar*,
                        const gchar* szProperty, GError**, gpointer pData)
{
    return static_cast<const CDBusMenu*>(pData)->GetProperty(szProperty);
}

const GDBusInterfaceVTable kVTable{OnMethodCall, OnGetProperty, nullptr, {}};
} // namespace

CDBusMenu::CDBusMenu(std::vector<CMenuEntry> entries, ClickFn onClick)
    : m_entries(std::move(entries)),
      m_onClick(std::move(onClick))
{
}

CDBusMenu::~CDBusMenu()
{
    Unexport();
}

bool CDBusMenu::Export(GDBusConnection* pConnection, const char* szPath)
{
    GError* pRawError = nullptr;
    const GDBusNodeInfoPtr pNode(g_dbus_node_info_new_for_xml(kIntrospection, &pRawError));
    GErrorPtr pError(pRawError);
    if (!pNode)
    {
        KLOG_ERR << "CDBusMenu::Export bad introspection: " << ErrorText(pError);
        return false;
    }
    m_nRegistration = g_dbus_connection_register_object(pConnection, szPath, pNode->interfaces[0],
                                                        &kVTable, this, nullptr, &pRawError);
    pError.reset(pRawError);
    if (m_nRegistration == 0)
    {
        KLOG_ERR << "CDBusMenu::Export can't export the menu: " << ErrorText(pError);
        return false;
    }
    m_pConnection = pConnection;
    return true;
}

void CDBusMenu::Unexport()
{
    if (m_nRegistration != 0)
        g_dbus_connection_unregister_object(m_pConnection, m_nRegistration);
    m_nRegistration = 0;
    m_pConnection = nullptr;
}

const CMenuEntry* CDBusMenu::Find(int nId) const
{
    const auto it = std::find_if(m_entries.begin(), m_entries.end(),
                                 [nId](const CMenuEntry& e) { return e.m_nId == nId; });
    return it == m_entries.end() ? nullptr : &*it;
}

GVariant* CDBusMenu::BuildProperties(int nId, GVariant* pNames) const
{
    GVariantBuilder builder;
    g_variant_builder_init(&builder, G_VARIANT_TYPE("a{sv}"));
    if (nId == kRootId)
        AddIfWanted(builder, pNames, "children-display", g_variant_new_string("submenu"));
    else if (const CMenuEntry* pEntry = Find(nId))
    {
        AddIfWanted(builder, pNames, "label", g_variant_new_string(pEntry->m_strLabel.c_str()));
        AddIfWanted(builder, pNames, "enabled", g_variant_new_boolean(TRUE));
        AddIfWanted(builder, pNames, "visible", g_variant_new_boolean(TRUE));
    }
    return g_variant_builder_end(&builder);
}

GVariant* CDBusMenu::BuildLayout(int nId, int nDepth, GVariant* pNames) const
{
    GVariantBuilder children;
    g_variant_builder_init(&children, G_VARIANT_TYPE("av"));
    // Only the root has children; a depth of -1 means "all levels".
    if (nId == kRootId && nDepth != 0)
        for (const CMenuEntry& entry : m_entries)
            g_variant_builder_add(&children, "v", BuildLayout(entry.m_nId, nDepth - 1, pNames));
    return g_variant_new("(i@a{sv}av)", nId, BuildProperties(nId, pNames), &children);
}

bool CDBusMenu::Click(int nId, const gchar* szEvent)
{
    if (!Find(nId))
        return false;
    // Hosts also report "opened", "closed" and "hovered"; only a click acts.
    if (g_strcmp0(szEvent, "clicked") == 0 && m_onClick)
        m_onClick(nId);
    return true;
}

void CDBusMenu::HandleCall(const gchar* szMethod, GVariant* pParameters,
                           GDBusMethodInvocation* pInvocation)
{
    const std::string_view method(szMethod);
    if (method == "GetLayout")
    {
        gint nParent = 0, nDepth = 0;
        GVariant* pNames = nullptr;
        g_variant_get(pParameters, "(ii@as)", &nParent, &nDepth, &pNames);
        const GVariantPtr pOwnedNames(pNames);
        if (nParent != kRootId && !Find(nParent))
            return ReturnInvalidId(pInvocation, nParent);
        g_dbus_method_invocation_return_value(
            pInvocation, g_variant_new("(u@(ia{sv}av))", 1u, BuildLayout(nParent, nDepth, pNames)));
    }
    else if (method == "GetGroupProperties")
    {
        GVariant *pIds = nullptr, *pNames = nullptr;
        g_variant_get(pParameters, "(@ai@as)", &pIds, &pNames);
        const GVariantPtr pOwnedIds(pIds), pOwnedNames(pNames);
        std::vector<int> ids;
        GVariantIter iter;
        g_variant_iter_init(&iter, pIds);
        for (gint nId = 0; g_variant_iter_next(&iter, "i", &nId);)
            ids.push_back(nId);
        if (ids.empty())
        {
            ids.push_back(kRootId);
            for (const CMenuEntry& entry : m_entries)
                ids.push_back(entry.m_nId);
        }
        GVariantBuilder result;
        g_variant_builder_init(&result, G_VARIANT_TYPE("a(ia{sv})"));
        for (const int nId : ids)
            if (nId == kRootId || Find(nId))
                g_variant_builder_add(&result, "(i@a{sv})", nId, BuildProperties(nId, pNames));
        g_dbus_method_invocation_return_value(pInvocation, g_variant_new("(a(ia{sv}))", &result));
    }
    else if (method == "GetProperty")
    {
        gint nId = 0;
        const gchar* szName = nullptr;
        g_variant_get(pParameters, "(i&s)", &nId, &szName);
        const GVariantPtr pProperties(g_variant_ref_sink(BuildProperties(nId, nullptr)));
        GVariant* pValue = g_variant_lookup_value(pProperties.get(), szName, nullptr);
        if (!pValue)
            return g_dbus_method_invocation_return_error(
                pInvocation, G_DBUS_ERROR, G_DBUS_ERROR_INVALID_ARGS,
                "menu item %d has no property %s", nId, szName);
        g_dbus_method_invocation_return_value(pInvocation, g_variant_new("(v)", pValue));
        g_variant_unref(pValue);
    }
    else if (method == "Event")
    {
        gint nId = 0;
        const gchar* szEvent = nullptr;
        g_variant_get(pParameters, "(i&svu)", &nId, &szEvent, nullptr, nullptr);
        if (!Click(nId, szEvent))
            return ReturnInvalidId(pInvocation, nId);
        g_dbus_method_invocation_return_value(pInvocation, nullptr);
    }
    else if (method == "EventGroup")
    {
        GVariantIter* pIter = nullptr;
        g_variant_get(pParameters, "(a(isvu))", &pIter);
        GVariantBuilder errors;
        g_variant_builder_init(&errors, G_VARIANT_TYPE("ai"));
        gint nId = 0;
        const gchar* szEvent = nullptr;
        while (g_variant_iter_next(pIter, "(i&svu)", &nId, &szEvent, nullptr, nullptr))
            if (!Click(nId, szEvent))
                g_variant_builder_add(&errors, "i", nId);
        g_variant_iter_free(pIter);
        g_dbus_method_invocation_return_value(pInvocation, g_variant_new("(ai)", &errors));
    }
    else if (method == "AboutToShow")
        g_dbus_method_invocation_return_value(pInvocation, g_variant_new("(b)", FALSE));
    else if (method == "AboutToShowGroup")
        g_dbus_method_invocation_return_value(
            pInvocation,
            g_variant_new("(@ai@ai)", g_variant_new_array(G_VARIANT_TYPE_INT32, nullptr, 0),
                          g_variant_new_array(G_VARIANT_TYPE_INT32, nullptr, 0)));
    else
        g_dbus_method_invocation_return_error(pInvocation, G_DBUS_ERROR,
                                              G_DBUS_ERROR_UNKNOWN_METHOD, "%s.%s is not known",
                                              kInterface, szMethod);
}

GVariant* CDBusMenu::GetProperty(const gchar* szProperty) const
{
    const std::string_view property(szProperty);
    if (property == "Version")
        return g_variant_new_uint32(3);
    if (property == "TextDirection")
        return g_variant_new_string("ltr");
    if (property == "Status")
        return g_variant_new_string("normal");
    if (property == "IconThemePath")
        return g_variant_new_strv(nullptr, 0);
    return nullptr;
}
