#include "Cipher.h"

void CipherBuffer(std::uint8_t* pBuffer, std::size_t nCount)
{
    if (!pBuffer)
        return;
    for (std::size_t i = 0; i < nCount; ++i)
        pBuffer[i] ^= kContentCipherKey;
}
