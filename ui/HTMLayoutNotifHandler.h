#pragma once

#include "HtmlDocument.h"
#include "KalimorHTMLayoutDataLoader.h"

class CWnd;

// Receives the engine's notifications for one window: resource requests,
// which it answers through the data loader, and behavior requests, which it
// answers from the program's registry of element behaviors.
class CHTMLayoutNotifHandler
{
public:
    virtual ~CHTMLayoutNotifHandler() = default;

    virtual bool AttachToWnd(CWnd* pWnd);
    virtual CWnd* GetAttachedWnd() const { return m_pAttachedWnd; }
    virtual void SetDataLoader(CAbstractHTMLayoutDataLoader* pLoader) { m_pDataLoader = pLoader; }
    virtual CAbstractHTMLayoutDataLoader* GetDataLoader() const { return m_pDataLoader; }
    virtual unsigned OnCreateControl(CEngineNotification& notification);
    virtual unsigned OnControlCreated(CEngineNotification& notification);
    virtual unsigned OnDestroyControl(CEngineNotification& notification);
    virtual unsigned OnLoadData(CEngineNotification& notification);
    virtual unsigned OnDataLoaded(CEngineNotification& notification);
    virtual unsigned OnDocumentComplete(CEngineNotification& notification);
    virtual unsigned OnAttachBehavior(CEngineNotification& notification);

    // The engine's callback: dispatches by notification code.
    unsigned HandleNotification(CEngineNotification& notification);
    // The loader's answer for one resource by its data type; false for a
    // type the loader does not know or a resource it does not have.
    static bool LoadByType(CAbstractHTMLayoutDataLoader& loader, std::string_view uri,
                           unsigned nType, CByteArray& data);

private:
    CWnd* m_pAttachedWnd = nullptr;
    CAbstractHTMLayoutDataLoader* m_pDataLoader = nullptr;
};
