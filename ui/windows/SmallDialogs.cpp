#include "SmallDialogs.h"

#include "ClientContext.h"
#include "FileUtils.h"
#include "Logger.h"
#include "MessageDlg.h"
#include "WindowManager.h"

namespace
{
constexpr const char* kWebSite = "https://www.kalimor.example/";
constexpr int kImageMargin = 24; // frame and title around the picture
constexpr int kTitleHeight = 34;
constexpr int kScrollBar = 17;

bool IsCloseKey(unsigned nEvent, unsigned nKeyCode)
{
    return nEvent == KEY_DOWN && (nKeyCode == VK_ESCAPE || nKeyCode == VK_RETURN);
}

std::uint32_t BigEndian(std::span<const std::uint8_t> bytes, std::size_t nAt, std::size_t nSize)
{
    std::uint32_t nValue = 0;
    for (std::size_t i = 0; i < nSize; ++i)
        nValue = (nValue << 8) | bytes[nAt + i];
    return nValue;
}
} // namespace

CSplashDlg::CSplashDlg(CClientContext& context)
    : CHTMLayoutDlg(196, context.GetResourceConfig().GetSplashDlgPath(), true, nullptr,
                    context.GetDataLoader())
{
}

CAboutDlg::CAboutDlg(CClientContext& context, CWnd* pParent)
    : CHTMLayoutDlg(0, context.GetResourceConfig().GetAboutDlgPath(), true, pParent,
                    context.GetDataLoader()),
      m_context(context)
{
    EnableTitleDrag();
}

bool CAboutDlg::OnInitDialog()
{
    if (!CHTMLayoutDlg::OnInitDialog())
        return false;
    CElement root = GetRootElement();
    CElement title = root.FindById("span_title");
    title.SetText(root.SelectFirst("title").GetText());
    CElement version = root.FindById("label_product_version");
    version.SetText(kClientVersion);
    if (m_titleClose.SetElement(root, "btn_title_close"))
        m_titleClose.m_sigClick.connect([this] { EndDialog(IDOK); });
    if (m_ok.SetElement(root, "btn_ok"))
        m_ok.m_sigClick.connect([this] { EndDialog(IDOK); });
    if (m_link.SetElement(root, "link_kalimor"))
        m_link.m_sigClick.connect([this] {
            if (!m_context.OpenExternal(kWebSite))
                KLOG_ERR << "CAboutDlg can't open " << kWebSite;
        });
    return true;
}

bool CAboutDlg::on_key(CElement, CElement, unsigned nEvent, unsigned nKeyCode, unsigned)
{
    if (!IsCloseKey(nEvent, nKeyCode))
        return false;
    EndDialog(IDOK);
    return true;
}

CImageViewDlg::CImageViewDlg(CClientContext& context, std::string strImagePath, CWnd* pParent)
    : CHTMLayoutDlg(0, context.GetResourceConfig().GetImageViewDlgPath(), false, pParent,
                    context.GetDataLoader()),
      m_context(context),
      m_strImagePath(std::move(strImagePath))
{
    EnableTitleDrag();
}

bool CImageViewDlg::ReadImageSize(std::span<const std::uint8_t> bytes, int& nWidth, int& nHeight)
{
    static const std::uint8_t kPng[] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    if (bytes.size() >= 24 && std::equal(std::begin(kPng), std::end(kPng), bytes.begin()))
    {
        nWidth = static_cast<int>(std::min<std::uint32_t>(BigEndian(bytes, 16, 4), 1u << 20));
        nHeight = static_cast<int>(std::min<std::uint32_t>(BigEndian(bytes, 20, 4), 1u << 20));
        return nWidth > 0 && nHeight > 0;
    }
    if (bytes.size() >= 10 && bytes[0] == 'G' && bytes[1] == 'I' && bytes[2] == 'F')
    {
        nWidth = bytes[6] | (bytes[7] << 8);
        nHeight = bytes[8] | (bytes[9] << 8);
        return nWidth > 0 && nHeight > 0;
    }
    if (bytes.size() >= 4 && bytes[0] == 0xFF && bytes[1] == 0xD8)
    {
        // Walk the JPEG segments up to a start-of-frame marker.
        std::size_t nPos = 2;
        while (nPos + 4 <= bytes.size())
        {
            if (bytes[nPos] != 0xFF)
                return false;
            const std::uint8_t marker = bytes[nPos + 1];
            if (marker == 0xD8 || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7))
            {
                nPos += 2;
                continue;
            }
            const std::size_t nLength = BigEndian(bytes, nPos + 2, 2);
            if (nLength < 2)
                return false;
            const bool bFrame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 &&
                                marker != 0xC8 && marker != 0xCC;
            if (bFrame)
            {
                if (nPos + 9 > bytes.size())
                    return false;
                nHeight = static_cast<int>(BigEndian(bytes, nPos + 5, 2));
                nWidth = static_cast<int>(BigEndian(bytes, nPos + 7, 2));
                return nWidth > 0 && nHeight > 0;
            }
            nPos += 2 + nLength;
        }
    }
    return false;
}

bool CImageViewDlg::ReadImageSize(const std::string& strPath, int& nWidth, int& nHeight)
{
    CByteArray bytes;
    return CFileUtils::LoadBinFileOrResource(strPath, bytes) &&
           ReadImageSize(bytes, nWidth, nHeight);
}

std::string CImageViewDlg::ChoosePage(const CResourceConfig& resources, int nImageWidth,
                                      int nImageHeight, const CRect& area, CRect& dialog)
{
    const int nMaxWidth = std::max(200, area.m_nWidth - 2 * kImageMargin);
    const int nMaxHeight = std::max(150, area.m_nHeight - 2 * kImageMargin);
    int nWidth = nImageWidth + kImageMargin;
    int nHeight = nImageHeight + kImageMargin + kTitleHeight;
    const bool bTooWide = nWidth > nMaxWidth;
    const bool bTooHigh = nHeight > nMaxHeight;
    std::string strPage = resources.GetImageViewDlgPath();
    if (bTooWide && bTooHigh)
        strPage = resources.GetImageScrollViewDlgPath();
    else if (bTooHigh)
    {
        strPage = resources.GetImageVScrollViewDlgPath();
        nWidth += kScrollBar;
    }
    else if (bTooWide)
    {
        strPage = resources.GetImageHScrollViewDlgPath();
        nHeight += kScrollBar;
    }
    dialog = CRect{0, 0, std::min(nWidth, nMaxWidth), std::min(nHeight, nMaxHeight)};
    return strPage;
}

void CImageViewDlg::SetSizeByContent()
{
    int nWidth = 0, nHeight = 0;
    if (!ReadImageSize(m_strImagePath, nWidth, nHeight))
    {
        nWidth = 320;
        nHeight = 240;
    }
    CWindowManager* pManager = CWindowManager::Get();
    const CRect area = pManager ? pManager->GetDesktopRect() : CRect{0, 0, 1280, 800};
    const std::string strPage =
        ChoosePage(m_context.GetResourceConfig(), nWidth, nHeight, area, m_dialogSize);
    if (strPage != m_strPagePath)
    {
        KLOG_DEBUG << "CImageViewDlg::OnInitDialog corrects dialog size";
        m_strPagePath = strPage;
    }
    SetFixedSize(m_dialogSize.m_nWidth, m_dialogSize.m_nHeight);
}

int CImageViewDlg::OnCreate()
{
    // The page depends on the picture's size, so it is chosen before loading.
    SetSizeByContent();
    MoveWindow(CRect{0, 0, m_dialogSize.m_nWidth, m_dialogSize.m_nHeight});
    return CHTMLayoutDlg::OnCreate();
}

void CImageViewDlg::InitControls()
{
    CElement root = GetRootElement();
    if (m_close.SetElement(root, "btn_close"))
        m_close.m_sigClick.connect([this] { EndDialog(IDOK); });
    CElement image = root.FindById("img_blank");
    // The browser fetches pictures of documents from the content folder and
    // the client's own pictures from the UI images, both through the bridge.
    std::string strContent = m_context.GetContentFolder();
    if (!strContent.empty() && strContent.back() != '/')
        strContent += '/';
    if (strContent.size() > 1 && m_strImagePath.starts_with(strContent))
        image.SetAttribute("src", "/content/" + m_strImagePath.substr(strContent.size()));
    else
        image.SetAttribute("src", m_strImagePath.substr(m_strImagePath.find_last_of('/') + 1));
    KLOG_DEBUG << "CImageViewDlg::InitControls sets img.src=" << m_strImagePath;
}

bool CImageViewDlg::OnInitDialog()
{
    if (!CHTMLayoutDlg::OnInitDialog())
        return false;
    InitControls();
    return true;
}

bool CImageViewDlg::on_key(CElement, CElement, unsigned nEvent, unsigned nKeyCode, unsigned)
{
    if (!IsCloseKey(nEvent, nKeyCode))
        return false;
    EndDialog(IDOK);
    return true;
}

bool CImageViewDlg::on_mouse(CElement, CElement target, unsigned nEvent, int, int,
                             unsigned nButtons, unsigned)
{
    // A click on the backdrop around the picture (the dialog's frame) closes it.
    if (nEvent == MOUSE_DOWN && (nButtons & MAIN_MOUSE_BUTTON) && target.GetTag() == "html")
    {
        EndDialog(IDOK);
        return true;
    }
    return false;
}
