#pragma once

#include "ClientContext.h"

// The application's part that windows see, for tests: settings, the pages
// built into the programs and tray mode. It is the context while it lives.
class CTestClientContext : public CClientContext
{
public:
    CTestClientContext()
        : m_resources(CResourceConfig::GetExecutableFolder()), m_loader(m_resources)
    {
        Set(this);
    }
    ~CTestClientContext() override { Set(nullptr); }
    CRegistryConfig& GetRegistryConfig() override { return m_registry; }
    const CResourceConfig& GetResourceConfig() const override { return m_resources; }
    CAbstractHTMLayoutDataLoader* GetDataLoader() override { return &m_loader; }
    void SetTrayMode(bool bTrayMode) override { m_bTray = bTrayMode; }
    bool IsTrayMode() const override { return m_bTray; }
    void ShowMainWindowFromTray() override { m_bTray = false; }

    CRegistryConfig m_registry;
    CResourceConfig m_resources;
    CKalimorHTMLayoutDataLoader m_loader;
    bool m_bTray = false;
};
