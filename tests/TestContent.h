#pragma once

#include "Cipher.h"
#include "TestSupport.h"

#include <string>

// Writes a content file the way the publisher stores it: enciphered.
inline void WriteEncipheredFile(const std::string& strPath, std::string text)
{
    CipherBuffer(reinterpret_cast<std::uint8_t*>(text.data()), text.size());
    WriteFileText(strPath, text);
}
