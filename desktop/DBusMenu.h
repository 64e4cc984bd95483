#pragma once

#include "GObjectPtr.h"

#include <functional>
#include <string>
#include <vector>

// One entry of the tray's menu: its id (also what a click reports) and label.
struct CMenuEntry
{
    int m_nId = 0;
    std::string m_strLabel;
};

// A flat menu exported over com.canonical.dbusmenu, the menu protocol of
// StatusNotifierItem hosts: the host asks for the layout and sends a "clicked"
// event for the entry the user chose. The layout never changes, so its
// revision stays 1 and no signal is ever needed. Lives on the desktop thread.
class CDBusMenu
{
public:
    using ClickFn = std::function<void(int nId)>;

    CDBusMenu(std::vector<CMenuEntry> entries, ClickFn onClick);
    ~CDBusMenu();
    CDBusMenu(const CDBusMenu&) = delete;
    CDBusMenu& operator=(const CDBusMenu&) = delete;

    bool Export(GDBusConnection* pConnection, const char* szPath);
    void Unexport();

    // The method calls, answered on the connection's thread.
    void HandleCall(const gchar* szMethod, GVariant* pParameters,
                    GDBusMethodInvocation* pInvocation);
    GVariant* GetProperty(const gchar* szProperty) const;

private:
    const CMenuEntry* Find(int nId) const;
    GVariant* BuildProperties(int nId, GVariant* pNames) const;
    GVariant* BuildLayout(int nId, int nDepth, GVariant* pNames) const;
    bool Click(int nId, const gchar* szEvent);

    std::vector<CMenuEntry> m_entries;
    ClickFn m_onClick;
    GDBusConnection* m_pConnection = nullptr;
    unsigned m_nRegistration = 0;
};
