#pragma once

#include <cstddef>
#include <cstdint>

// The content cipher: every byte is combined with one key byte, so enciphering
// and deciphering are the same operation and any byte range can be processed
// on its own.
constexpr std::uint8_t kContentCipherKey = 0xE7;

// Applies the cipher to nCount bytes in place; a null buffer or a zero count
// does nothing. Every reader and writer of enciphered content goes through it.
void CipherBuffer(std::uint8_t* pBuffer, std::size_t nCount);
