#pragma once

#include <string>

class CClientContext;
class CWnd;
class IShadowHost;

// The viewers that run modal over the main window, dimmed while they show:
// a picture of the content, the guide to the client (a picture as well) and
// the about box of the window's system menu.
class CModalViewers
{
public:
    CModalViewers(CClientContext& context, CWnd& frame, IShadowHost& shadow)
        : m_context(context),
          m_frame(frame),
          m_shadow(shadow)
    {
    }

    void ShowImage(const std::string& strPath);
    void ShowHowToUse();
    void ShowAboutBox();

private:
    // Runs a dialog over the window, dimmed until it ends.
    template <class TDialog> void RunDimmed(TDialog& dialog);

    CClientContext& m_context;
    CWnd& m_frame;
    IShadowHost& m_shadow;
};
