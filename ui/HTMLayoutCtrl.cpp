#include "HTMLayoutCtrl.h"

#include "Logger.h"

CHTMLayoutCtrl::~CHTMLayoutCtrl()
{
    Detach();
    Release();
}

void CHTMLayoutCtrl::Release()
{
    m_element = CElement();
}

bool CHTMLayoutCtrl::SetElement(const CElement& root, std::string_view id, bool bAttach)
{
    const CElement element = root.FindById(id);
    if (!element.IsValid())
    {
        KLOG_ERR << "CHTMLayoutCtrl::SetElement can't get element with id " << id;
        return false;
    }
    return SetElement(element, bAttach);
}

bool CHTMLayoutCtrl::SetElement(const CElement& element, bool bAttach)
{
    Detach();
    m_element = element;
    return bAttach ? Attach() : true;
}

bool CHTMLayoutCtrl::Attach()
{
    if (!m_element.IsValid())
    {
        KLOG_ERR << "CHTMLayoutCtrl::Attach el is not valid";
        return false;
    }
    if (m_bAttached)
    {
        KLOG_DEBUG << "CHTMLayoutCtrl::Attach the CHTMLayoutCtrl has been attached";
        return true;
    }
    m_element.AttachEventHandler(this);
    m_bAttached = true;
    m_sigAttached();
    return true;
}

void CHTMLayoutCtrl::Detach()
{
    if (!m_bAttached)
    {
        KLOG_DEBUG << "CHTMLayoutCtrl::Attach the CHTMLayoutCtrl has been detached";
        return;
    }
    m_sigDetached();
    m_element.DetachEventHandler(this);
    m_bAttached = false;
}

std::unique_ptr<CHTMLayoutCtrl> CHTMLayoutCtrl::Clone() const
{
    auto pCopy = std::make_unique<CHTMLayoutCtrl>();
    pCopy->SetElement(m_element, true);
    return pCopy;
}

bool CHTMLayoutCtrl::IsOwnTarget(const CDomEvent& event) const
{
    return m_element.IsValid() && event.m_pTarget == m_element.GetNode();
}

void CHTMLayoutButtonCtrl::SetValue(int nValue)
{
    CElement element = GetElement();
    element.SetIntValue(nValue);
}

bool CHTMLayoutButtonCtrl::OnButtonClick(CElement, CDomEvent& event)
{
    if (!IsOwnTarget(event))
        return false;
    m_sigClick();
    return true;
}

bool CHTMLayoutButtonCtrl::OnHyperlinkClick(CElement, CDomEvent& event)
{
    if (!IsOwnTarget(event))
        return false;
    m_sigClick();
    return true;
}

std::unique_ptr<CHTMLayoutCtrl> CHTMLayoutButtonCtrl::Clone() const
{
    auto pCopy = std::make_unique<CHTMLayoutButtonCtrl>();
    pCopy->SetElement(GetElement(), true);
    return pCopy;
}

std::string CHTMLayoutEditCtrl::GetValue() const
{
    return GetElement().GetValue();
}

void CHTMLayoutEditCtrl::SetValue(std::string_view text)
{
    CElement element = GetElement();
    element.SetValue(text);
}

bool CHTMLayoutEditCtrl::OnEditValueChanging(CElement, CDomEvent& event)
{
    if (!IsOwnTarget(event))
        return false;
    m_sigValueChanging(GetValue());
    return true;
}

bool CHTMLayoutEditCtrl::OnEditValueChanged(CElement, CDomEvent& event)
{
    if (!IsOwnTarget(event))
        return false;
    m_sigValueChanged(GetValue());
    return true;
}

std::unique_ptr<CHTMLayoutCtrl> CHTMLayoutEditCtrl::Clone() const
{
    auto pCopy = std::make_unique<CHTMLayoutEditCtrl>();
    pCopy->SetElement(GetElement(), true);
    return pCopy;
}
