// Arbitrary URLs through the percent-decoding, the file-URL conversion and the
// loader's folder join, which must never read outside its folder.
#include "KalimorHTMLayoutDataLoader.h"
#include "UrlToPath.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t nSize)
{
    const std::string url(reinterpret_cast<const char*>(pData), nSize);
    const std::string decoded = PercentDecodeUrl(url);
    // Decoding only ever shortens the text.
    if (decoded.size() > url.size())
        std::abort();
    std::string path;
    if (UrlToPath(url, path) && !IsFileUrl(decoded) && path != decoded)
        std::abort();

    // The application folder does not exist, so nothing on disk can be found:
    // a successful load can only come from the program's own resources.
    static const CResourceConfig config("/nonexistent/kalimor-fuzz-app");
    CKalimorHTMLayoutDataLoader loader(config);
    CByteArray data;
    if (!CKalimorHTMLayoutDataLoader::IsAbsoluteFileUrl(url))
    {
        loader.LoadHtml(url, data);
        loader.LoadStyle(url, data);
    }
    return 0;
}
