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

    // Each returns the dialog's end code.
    int ShowImage(const std::string& strPath);
    int ShowHowToUse();
    int ShowAboutBox();

private:
    // Runs a dialog over the window, dimmed until it ends.
    template <class TDialog> int RunDimmed(TDialog& dialog);

    CClientContext& m_context;
    CWnd& m_frame;
    IShadowHost& m_shadow;
};
