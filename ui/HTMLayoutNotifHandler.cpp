#include "HTMLayoutNotifHandler.h"

#include "ElementBehaviors.h"
#include "Logger.h"
#include "Wnd.h"

bool CHTMLayoutNotifHandler::AttachToWnd(CWnd* pWnd)
{
    if (!pWnd || !pWnd->IsWindow() || !pWnd->GetHtmlDocument())
    {
        KLOG_ERR << "CHTMLayoutNotifHandler::AttachToWnd invalid wnd";
        return false;
    }
    if (m_pAttachedWnd)
    {
        KLOG_ERR
            << "CHTMLayoutNotifHandler::AttachToWnd CHTMLayoutNotifHandler is already attached";
        return false;
    }
    m_pAttachedWnd = pWnd;
    pWnd->GetHtmlDocument()->SetCallback(
        [this](CEngineNotification& notification) { return HandleNotification(notification); });
    return true;
}

unsigned CHTMLayoutNotifHandler::HandleNotification(CEngineNotification& notification)
{
    switch (notification.m_nCode)
    {
    case HLN_CREATE_CONTROL: return OnCreateControl(notification);
    case HLN_LOAD_DATA:
        if (notification.m_strUri.empty())
            return LOAD_DISCARD;
        return OnLoadData(notification);
    case HLN_CONTROL_CREATED: return OnControlCreated(notification);
    case HLN_DATA_LOADED: return OnDataLoaded(notification);
    case HLN_DOCUMENT_COMPLETE: return OnDocumentComplete(notification);
    case HLN_DESTROY_CONTROL: return OnDestroyControl(notification);
    case HLN_ATTACH_BEHAVIOR: return OnAttachBehavior(notification);
    default: return 0;
    }
}

unsigned CHTMLayoutNotifHandler::OnCreateControl(CEngineNotification&)
{
    KLOG_DEBUG << "CHTMLayoutNotifHandler::OnCreateControl";
    return 0;
}

unsigned CHTMLayoutNotifHandler::OnControlCreated(CEngineNotification&)
{
    KLOG_DEBUG << "CHTMLayoutNotifHandler::OnControlCreated";
    return 0;
}

unsigned CHTMLayoutNotifHandler::OnDestroyControl(CEngineNotification&)
{
    KLOG_DEBUG << "CHTMLayoutNotifHandler::OnDestroyControl";
    return 0;
}

unsigned CHTMLayoutNotifHandler::OnDataLoaded(CEngineNotification&)
{
    KLOG_DEBUG << "CHTMLayoutNotifHandler::OnDataLoaded";
    return 0;
}

unsigned CHTMLayoutNotifHandler::OnDocumentComplete(CEngineNotification&)
{
    KLOG_DEBUG << "CHTMLayoutNotifHandler::OnDocumentComplete";
    return 0;
}

bool CHTMLayoutNotifHandler::LoadByType(CAbstractHTMLayoutDataLoader& loader, std::string_view uri,
                                        unsigned nType, CByteArray& data)
{
    switch (nType)
    {
    case HLRT_DATA_HTML: return loader.LoadHtml(uri, data);
    case HLRT_DATA_IMAGE: return loader.LoadImage(uri, data);
    case HLRT_DATA_STYLE: return loader.LoadStyle(uri, data);
    case HLRT_DATA_CURSOR: return loader.LoadCursor(uri, data);
    case HLRT_DATA_SCRIPT: return loader.LoadScript(uri, data);
    default: KLOG_ERR << "CHTMLayoutNotifHandler::OnLoadData unknown data type"; return false;
    }
}

unsigned CHTMLayoutNotifHandler::OnLoadData(CEngineNotification& notification)
{
    KLOG_DEBUG << "CHTMLayoutNotifHandler::OnLoadData "
               << "load " << notification.m_strUri;
    if (!m_pDataLoader)
    {
        KLOG_ERR << "CHTMLayoutNotifHandler::OnLoadData "
                 << "dataLoade is not set";
        return LOAD_OK;
    }
    CByteArray data;
    if (!LoadByType(*m_pDataLoader, notification.m_strUri, notification.m_nDataType, data))
        return LOAD_DISCARD;
    CHtmlDocument* pDocument = m_pAttachedWnd ? m_pAttachedWnd->GetHtmlDocument() : nullptr;
    if (!pDocument || !pDocument->DataReady(notification.m_strUri, data))
    {
        KLOG_ERR << "CHTMLayoutNotifHandler::OnLoadData CHTMLayoutNotifHandler failed";
        return LOAD_DISCARD;
    }
    return LOAD_OK;
}

unsigned CHTMLayoutNotifHandler::OnAttachBehavior(CEngineNotification& notification)
{
    notification.m_pBehavior = CElementBehaviors::Create(notification.m_strBehavior);
    return 0;
}
