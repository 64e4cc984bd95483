#include "StatusNotifierItem.h"
#include "FakeDesktop.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <functional>
#include <mutex>
#include <thread>

namespace
{
using namespace std::chrono_literals;

bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout = 10s)
{
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!done())
    {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(10ms);
    }
    return true;
}

CTrayItemInfo TestInfo()
{
    CTrayItemInfo info;
    info.m_strId = "test.kalimor.Tray";
    info.m_strTitle = "Калимор";
    info.m_strToolTip = "Подсказка";
    info.m_strIconName = "test.kalimor.Tray";
    info.m_strIconThemePath = "/opt/kalimor/share/icons";
    info.m_menu = {{32780, "Открыть"}, {32781, "Обновить"}, {57665, "Выход"}};
    return info;
}

// The item under test with what it reported to the application.
struct CRecordingItem
{
    CRecordingItem()
        : item(
              TestInfo(),
              [this] {
                  std::lock_guard lock(mutex);
                  ++nActivations;
              },
              [this](int nId) {
                  std::lock_guard lock(mutex);
                  clicks.push_back(nId);
              })
    {
    }
    std::vector<int> Clicks()
    {
        std::lock_guard lock(mutex);
        return clicks;
    }
    int Activations()
    {
        std::lock_guard lock(mutex);
        return nActivations;
    }

    std::mutex mutex;
    std::vector<int> clicks;
    int nActivations = 0;
    CStatusNotifierItem item;
};

using CTrayFixture = CPrivateBusFixture;

std::string Text(const GVariantPtr& pValue)
{
    return pValue && g_variant_is_of_type(pValue.get(), G_VARIANT_TYPE_STRING)
               ? g_variant_get_string(pValue.get(), nullptr)
               : "<none>";
}

// A menu entry's id and label out of a layout node (ia{sv}av).
std::pair<int, std::string> Entry(GVariant* pNode)
{
    gint nId = 0;
    GVariant* pProperties = nullptr;
    g_variant_get(pNode, "(i@a{sv}av)", &nId, &pProperties, nullptr);
    const GVariantPtr pOwned(pProperties);
    const gchar* szLabel = "";
    g_variant_lookup(pProperties, "label", "&s", &szLabel);
    return {nId, szLabel};
}
} // namespace

TEST_F(CTrayFixture, ShownIconRegistersWithItsPropertiesAndLeavesWhenHidden)
{
    CFakeDesktop desktop(bus.GetAddress(), {});
    ASSERT_TRUE(desktop.IsReady());
    CRecordingItem recorder;
    recorder.item.Start();
    ASSERT_TRUE(WaitUntil([&] { return recorder.item.IsHostAvailable(); }));
    EXPECT_TRUE(desktop.GetItems().empty()) << "no icon until it is shown";

    recorder.item.SetVisible(true);
    ASSERT_TRUE(desktop.WaitForItems(1));
    ASSERT_TRUE(WaitUntil([&] { return recorder.item.IsRegistered(); }));
    const std::string strFirstName = desktop.GetItems().front();
    EXPECT_TRUE(strFirstName.starts_with("org.kde.StatusNotifierItem-")) << strFirstName;

    const std::vector<std::pair<const char*, std::string>> strings{
        {"Id", "test.kalimor.Tray"},
        {"Title", "Калимор"},
        {"IconName", "test.kalimor.Tray"},
        {"IconThemePath", "/opt/kalimor/share/icons"},
        {"Status", "Active"},
        {"Category", "ApplicationStatus"},
    };
    for (const auto& [szName, strValue] : strings)
        EXPECT_EQ(Text(desktop.GetItemProperty(szName)), strValue) << szName;
    const GVariantPtr pMenu = desktop.GetItemProperty("Menu");
    ASSERT_TRUE(pMenu);
    EXPECT_STREQ(g_variant_get_string(pMenu.get(), nullptr), "/MenuBar");
    const GVariantPtr pIsMenu = desktop.GetItemProperty("ItemIsMenu");
    ASSERT_TRUE(pIsMenu);
    EXPECT_FALSE(g_variant_get_boolean(pIsMenu.get())) << "a click opens; the menu is the host's";
    const GVariantPtr pToolTip = desktop.GetItemProperty("ToolTip");
    ASSERT_TRUE(pToolTip && g_variant_is_of_type(pToolTip.get(), G_VARIANT_TYPE("(sa(iiay)ss)")));
    const gchar* szToolTip = nullptr;
    g_variant_get(pToolTip.get(), "(sa(iiay)&ss)", nullptr, nullptr, &szToolTip, nullptr);
    EXPECT_STREQ(szToolTip, "Подсказка");

    // Hidden: the name is given up and the host drops the icon; shown again
    // under a new name.
    recorder.item.SetVisible(false);
    ASSERT_TRUE(desktop.WaitForItems(0));
    EXPECT_TRUE(WaitUntil([&] { return !recorder.item.IsRegistered(); }));
    recorder.item.SetVisible(true);
    ASSERT_TRUE(desktop.WaitForItems(1));
    EXPECT_NE(desktop.GetItems().front(), strFirstName);
}

TEST_F(CTrayFixture, MenuLayoutAndEveryInputOfThePanelReachTheApplication)
{
    CFakeDesktop desktop(bus.GetAddress(), {});
    CRecordingItem recorder;
    recorder.item.Start();
    recorder.item.SetVisible(true);
    ASSERT_TRUE(desktop.WaitForItems(1));

    // The whole layout: a root that opens a submenu and the three entries.
    GVariantPtr pLayout = desktop.CallMenu(
        "GetLayout", g_variant_new("(ii@as)", 0, -1, g_variant_new_strv(nullptr, 0)));
    ASSERT_TRUE(pLayout);
    guint nRevision = 0;
    GVariant* pRoot = nullptr;
    g_variant_get(pLayout.get(), "(u@(ia{sv}av))", &nRevision, &pRoot);
    const GVariantPtr pOwnedRoot(pRoot);
    GVariant *pRootProperties = nullptr, *pChildren = nullptr;
    gint nRootId = -1;
    g_variant_get(pRoot, "(i@a{sv}@av)", &nRootId, &pRootProperties, &pChildren);
    const GVariantPtr pOwnedProperties(pRootProperties), pOwnedChildren(pChildren);
    EXPECT_EQ(nRootId, 0);
    const gchar* szDisplay = "";
    EXPECT_TRUE(g_variant_lookup(pRootProperties, "children-display", "&s", &szDisplay));
    EXPECT_STREQ(szDisplay, "submenu");
    std::vector<std::pair<int, std::string>> entries;
    for (gsize i = 0; i < g_variant_n_children(pChildren); ++i)
    {
        const GVariantPtr pBoxed(g_variant_get_child_value(pChildren, i));
        const GVariantPtr pNode(g_variant_get_variant(pBoxed.get()));
        entries.push_back(Entry(pNode.get()));
    }
    const std::vector<std::pair<int, std::string>> expected{
        {32780, "Открыть"}, {32781, "Обновить"}, {57665, "Выход"}};
    EXPECT_EQ(entries, expected);

    // Only the properties asked for, only the entries that exist.
    const gchar* const label[] = {"label", nullptr};
    GVariantPtr pGroup = desktop.CallMenu(
        "GetGroupProperties",
        g_variant_new("(@ai^as)", g_variant_new_array(G_VARIANT_TYPE_INT32, nullptr, 0), label));
    ASSERT_TRUE(pGroup);
    const GVariantPtr pAll(g_variant_get_child_value(pGroup.get(), 0));
    EXPECT_EQ(g_variant_n_children(pAll.get()), 4u) << "no ids: the root and every entry";
    const gint32 ids[] = {32781, 999};
    pGroup = desktop.CallMenu(
        "GetGroupProperties",
        g_variant_new("(@ai^as)",
                      g_variant_new_fixed_array(G_VARIANT_TYPE_INT32, ids, 2, sizeof(gint32)),
                      label));
    ASSERT_TRUE(pGroup);
    GVariant* pItems = g_variant_get_child_value(pGroup.get(), 0);
    const GVariantPtr pOwnedItems(pItems);
    ASSERT_EQ(g_variant_n_children(pItems), 1u) << "999 is no entry";
    gint nId = 0;
    GVariant* pProperties = nullptr;
    g_variant_get_child(pItems, 0, "(i@a{sv})", &nId, &pProperties);
    const GVariantPtr pOwnedItemProperties(pProperties);
    EXPECT_EQ(nId, 32781);
    EXPECT_EQ(g_variant_n_children(pProperties), 1u) << "only the label was asked for";

    // Clicks reach the application with the entry's id; hovering does not;
    // an entry that does not exist is an error. A click on the icon opens.
    for (const int nClicked : {32781, 57665, 32780})
        EXPECT_TRUE(desktop.ClickMenu(nClicked));
    EXPECT_TRUE(desktop.CallMenu(
        "Event", g_variant_new("(isvu)", 32780, "hovered", g_variant_new_int32(0), 0u)));
    std::string strError;
    EXPECT_FALSE(desktop.CallMenu(
        "Event", g_variant_new("(isvu)", 999, "clicked", g_variant_new_int32(0), 0u), &strError));
    EXPECT_NE(strError.find("999"), std::string::npos) << strError;
    EXPECT_TRUE(desktop.Activate());
    EXPECT_TRUE(desktop.CallItem("SecondaryActivate", g_variant_new("(ii)", 0, 0)));
    EXPECT_TRUE(desktop.CallItem("ContextMenu", g_variant_new("(ii)", 0, 0)));
    ASSERT_TRUE(WaitUntil([&] { return recorder.Activations() == 2; }));
    EXPECT_EQ(recorder.Clicks(), (std::vector<int>{32781, 57665, 32780}));
}

TEST_F(CTrayFixture, AHostIsThereOnlyWithAWatcherThatHasOne)
{
    struct CCase
    {
        const char* m_szName;
        bool m_bBus;
        CFakeDesktop::COptions m_options;
        bool m_bHost;
    };
    const std::vector<CCase> cases{
        {"no session bus", false, {}, false},
        {"no watcher", true, {false, false, true}, false},
        {"a watcher without a host", true, {true, false, true}, false},
        {"a watcher with its host", true, {true, true, true}, true},
    };
    for (const CCase& c : cases)
    {
        CScopedEnv address("DBUS_SESSION_BUS_ADDRESS",
                           c.m_bBus ? bus.GetAddress() : "unix:path=/nonexistent/bus");
        CFakeDesktop desktop(bus.GetAddress(), c.m_options);
        CRecordingItem recorder;
        recorder.item.Start();
        recorder.item.SetVisible(true);
        if (c.m_bHost)
            EXPECT_TRUE(WaitUntil([&] { return recorder.item.IsHostAvailable(); })) << c.m_szName;
        else
        {
            // Whatever the item hears from the bus has come within this.
            std::this_thread::sleep_for(500ms);
            EXPECT_FALSE(recorder.item.IsHostAvailable()) << c.m_szName;
        }
    }
}

TEST_F(CTrayFixture, TheIconComesBackWithAWatcherThatRestarts)
{
    CRecordingItem recorder;
    recorder.item.Start();
    recorder.item.SetVisible(true);
    {
        CFakeDesktop panel(bus.GetAddress(), {});
        ASSERT_TRUE(panel.WaitForItems(1));
        ASSERT_TRUE(WaitUntil([&] { return recorder.item.IsRegistered(); }));
    }
    ASSERT_TRUE(WaitUntil([&] { return !recorder.item.IsHostAvailable(); }))
        << "the panel went away";
    EXPECT_FALSE(recorder.item.IsRegistered());
    CFakeDesktop restarted(bus.GetAddress(), {});
    EXPECT_TRUE(restarted.WaitForItems(1));
    EXPECT_TRUE(
        WaitUntil([&] { return recorder.item.IsHostAvailable() && recorder.item.IsRegistered(); }));
}
