#include "StartCodes.h"

#include <sys/random.h>

#include <algorithm>

CStartCodes::CStartCodes(Clock::duration lifetime, std::size_t nMaxLive)
    : m_lifetime(lifetime),
      m_nMaxLive(nMaxLive)
{
}

std::string CStartCodes::NewSecret()
{
    unsigned char bytes[24] = {};
    std::size_t nFilled = 0;
    while (nFilled < sizeof(bytes))
    {
        const ssize_t nRead = ::getrandom(bytes + nFilled, sizeof(bytes) - nFilled, 0);
        if (nRead <= 0)
            break;
        nFilled += static_cast<std::size_t>(nRead);
    }
    static const char kHex[] = "0123456789abcdef";
    std::string secret;
    for (const unsigned char b : bytes)
    {
        secret += kHex[b >> 4];
        secret += kHex[b & 15];
    }
    return secret;
}

bool CStartCodes::SameSecret(std::string_view a, std::string_view b)
{
    if (a.size() != b.size() || a.empty())
        return false;
    unsigned char diff = 0;
    for (std::size_t i = 0; i < a.size(); ++i)
        diff |= static_cast<unsigned char>(a[i] ^ b[i]);
    return diff == 0;
}

std::string CStartCodes::Issue(Clock::time_point now)
{
    std::lock_guard lock(m_mutex);
    // A client asked again and again to show itself keeps only its latest
    // few addresses open.
    while (m_codes.size() >= m_nMaxLive)
        m_codes.pop_front();
    m_codes.push_back({NewSecret(), now + m_lifetime});
    return m_codes.back().m_strCode;
}

bool CStartCodes::Redeem(std::string_view code, Clock::time_point now)
{
    std::lock_guard lock(m_mutex);
    std::erase_if(m_codes, [now](const SCode& c) { return c.m_expires <= now; });
    // Every live code is compared, so the time taken says nothing of which matched.
    auto found = m_codes.end();
    for (auto it = m_codes.begin(); it != m_codes.end(); ++it)
        if (SameSecret(code, it->m_strCode))
            found = it;
    if (found == m_codes.end())
        return false;
    m_codes.erase(found);
    return true;
}
