// Arbitrary picture headers through the image viewer's size reader: PNG, GIF
// and the JPEG segment walk must stay inside the bytes and end.
#include "SmallDialogs.h"

#include <cstdint>
#include <cstdlib>
#include <span>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t nSize)
{
    int nWidth = -1, nHeight = -1;
    if (CImageViewDlg::ReadImageSize(std::span<const std::uint8_t>(pData, nSize), nWidth,
                                     nHeight) &&
        (nWidth <= 0 || nHeight <= 0 || nWidth > (1 << 20) || nHeight > (1 << 20)))
        std::abort(); // a size that the viewer's layout cannot take
    return 0;
}
