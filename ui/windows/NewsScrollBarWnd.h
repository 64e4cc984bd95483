#pragma once

#include "HTMLayoutWin.h"

#include <boost/signals2/signal.hpp>

// The slim bar above the news that moves along them: a track between two
// markers (its insets from the window's edges) and a thumb whose place is a
// position from 0 to the maximum. A press on the track moves the thumb there,
// the wheel and the arrow keys move it by one item.
class CNewsScrollBarWnd : public CHTMLayoutWin
{
public:
    static constexpr int kDefaultMaximum = 1000;

    using CHTMLayoutWin::CHTMLayoutWin;
    bool Create(unsigned nStyle, const CRect& rect, CWnd* pParent, int nId) override;

    void SetMarkers(int nLeft, int nRight);
    void SetMaximum(int nMaximum);
    // Moves the thumb and tells the news.
    void SetPosition(int nPosition);
    int GetPosition() const { return m_nPosition; }
    int GetMaximum() const { return m_nMaximum; }
    // How many items there are and how many are seen at once: the thumb's
    // width and the size of one step.
    void SetRange(std::size_t nItems, std::size_t nVisible);
    // Moves by n items (negative: back).
    void Step(int nItems);
    // The position a press at x of the window gives.
    int PositionAt(int nX) const;

    // The position and the maximum, after every move.
    boost::signals2::signal<void(int, int)> m_sigPosition;

    bool HandleDomEvent(CDomEvent& event) override;

protected:
    bool on_mouse(CElement he, CElement target, unsigned nEvent, int nX, int nY, unsigned nButtons,
                  unsigned nKeys) override;
    bool on_key(CElement he, CElement target, unsigned nEvent, unsigned nKeyCode,
                unsigned nKeys) override;
    void OnSize(int nWidth, int nHeight) override;

private:
    int TrackWidth() const;
    int ThumbWidth() const;
    void Draw();

    int m_nLeft = 0;
    int m_nRight = 0;
    int m_nMaximum = kDefaultMaximum;
    int m_nPosition = 0;
    std::size_t m_nItems = 0;
    std::size_t m_nVisible = 1;
};
