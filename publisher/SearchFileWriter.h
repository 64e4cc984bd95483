#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// The bytes of a search file being built: big-endian integers, as the
// readers expect them whatever the processor.
class CSearchFileBuffer
{
public:
    void AppendBytes(std::string_view bytes)
    {
        m_bytes.insert(m_bytes.end(), bytes.begin(), bytes.end());
    }
    void AppendUChar(std::uint8_t nValue) { m_bytes.push_back(nValue); }
    void AppendUShort(std::uint16_t nValue);
    void AppendUShorts(std::span<const std::uint16_t> values);
    void AppendULong(std::uint32_t nValue);
    void PatchUShort(std::size_t nOffset, std::uint16_t nValue);
    void PatchULong(std::size_t nOffset, std::uint32_t nValue);

    std::size_t Size() const { return m_bytes.size(); }
    const std::vector<std::uint8_t>& Bytes() const { return m_bytes; }
    std::vector<std::uint8_t> Take() { return std::move(m_bytes); }

private:
    std::vector<std::uint8_t> m_bytes;
};

// Writes a finished search file in place of the old one (temporary file,
// then rename). The old file is first locked exclusively: while a client
// has it loaded the lock is refused and nothing is replaced.
bool SaveSearchFile(const std::string& strPath, std::span<const std::uint8_t> bytes);
