#pragma once

#include "TestSupport.h"

#include <cstdint>
#include <string>
#include <string_view>

// Hand-laid bytes of a search file: big-endian integers, Windows-1251 text
// written as escapes by the tests.
class CBytes
{
public:
    CBytes& Text(std::string_view text)
    {
        m_data.append(text);
        return *this;
    }
    CBytes& U8(unsigned nValue)
    {
        m_data += static_cast<char>(nValue & 0xFF);
        return *this;
    }
    CBytes& U16(unsigned nValue) { return U8(nValue >> 8).U8(nValue); }
    CBytes& U32(std::uint32_t nValue) { return U16(nValue >> 16).U16(nValue & 0xFFFF); }
    CBytes& Zeros(std::size_t nCount)
    {
        m_data.append(nCount, '\0');
        return *this;
    }
    void PatchU32(std::size_t nOffset, std::uint32_t nValue)
    {
        for (int i = 0; i < 4; ++i)
            m_data[nOffset + i] = static_cast<char>(nValue >> (24 - 8 * i));
    }
    std::size_t Size() const { return m_data.size(); }
    const std::string& Data() const { return m_data; }
    void Save(const std::string& strPath) const { WriteFileText(strPath, m_data); }

private:
    std::string m_data;
};
