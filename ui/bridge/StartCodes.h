#pragma once

#include <chrono>
#include <cstddef>
#include <deque>
#include <mutex>
#include <string>
#include <string_view>

// The codes that open the client's page once. The address given to the
// browser stands on its command line, where any local user can read it: it
// holds one of these codes, not the run's key, and a code is spent by its
// first use and worthless after a short while even if never used.
class CStartCodes
{
public:
    using Clock = std::chrono::steady_clock;

    explicit CStartCodes(Clock::duration lifetime = std::chrono::minutes(2),
                         std::size_t nMaxLive = 8);

    // A new code, alive from now.
    std::string Issue(Clock::time_point now = Clock::now());
    // True once for a live code; the code is gone afterwards.
    bool Redeem(std::string_view code, Clock::time_point now = Clock::now());

    // 24 random bytes in hex: the codes and the run's key.
    static std::string NewSecret();
    // Compares in a time that does not depend on where the strings differ.
    static bool SameSecret(std::string_view a, std::string_view b);

private:
    struct SCode
    {
        std::string m_strCode;
        Clock::time_point m_expires;
    };
    const Clock::duration m_lifetime;
    const std::size_t m_nMaxLive;
    std::mutex m_mutex;
    std::deque<SCode> m_codes;
};
