#pragma once

#include "HTMLayoutEventHandler.h"

#include <boost/signals2/signal.hpp>

#include <memory>
#include <string>
#include <string_view>

// A control bound to one element of a window's page by id. While attached it
// receives the element's events as an element-level handler.
class CHTMLayoutCtrl : public CHTMLayoutEventHandler
{
public:
    CHTMLayoutCtrl() = default;
    ~CHTMLayoutCtrl() override;
    CHTMLayoutCtrl(const CHTMLayoutCtrl&) = delete;
    CHTMLayoutCtrl& operator=(const CHTMLayoutCtrl&) = delete;

    boost::signals2::signal<void()> m_sigAttached;
    boost::signals2::signal<void()> m_sigDetached;

    // The first element under root whose id is id; false (and logged) when
    // the page has none.
    bool SetElement(const CElement& root, std::string_view id, bool bAttach = true);
    // Without it a string literal would pick the overload below (as a bool).
    bool SetElement(const CElement& root, const char* szId, bool bAttach = true)
    {
        return SetElement(root, std::string_view(szId), bAttach);
    }
    bool SetElement(const CElement& element, bool bAttach = true);
    bool Attach();
    void Detach();
    bool IsAttached() const { return m_bAttached; }
    const CElement& GetElement() const { return m_element; }
    // A new control of the same kind bound (and attached) to the same element.
    virtual std::unique_ptr<CHTMLayoutCtrl> Clone() const;

protected:
    // True when the event concerns the control's own element, not a child.
    bool IsOwnTarget(const CDomEvent& event) const;

private:
    void Release();

    CElement m_element;
    bool m_bAttached = false;
};

// A button, link or tile: its click signal fires for clicks on the element
// itself, never for clicks that bubble up from other elements inside it.
class CHTMLayoutButtonCtrl : public CHTMLayoutCtrl
{
public:
    boost::signals2::signal<void()> m_sigClick;

    virtual void SetValue(int nValue);
    bool OnButtonClick(CElement he, CDomEvent& event) override;
    bool OnHyperlinkClick(CElement he, CDomEvent& event) override;
    std::unique_ptr<CHTMLayoutCtrl> Clone() const override;
};

// A text field: signals with the current text while and after it changes.
class CHTMLayoutEditCtrl : public CHTMLayoutCtrl
{
public:
    boost::signals2::signal<void(const std::string&)> m_sigValueChanging;
    boost::signals2::signal<void(const std::string&)> m_sigValueChanged;

    std::string GetValue() const;
    void SetValue(std::string_view text);
    bool OnEditValueChanging(CElement he, CDomEvent& event) override;
    bool OnEditValueChanged(CElement he, CDomEvent& event) override;
    std::unique_ptr<CHTMLayoutCtrl> Clone() const override;
};
