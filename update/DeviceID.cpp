#include "DeviceID.h"

#include "Digest.h"
#include "Logger.h"

#include <ifaddrs.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <sys/socket.h>

#include <memory>

namespace
{
// The Windows client asked for the adapters into room for 16 records and took
// a larger list as a failure; the identifier keeps that rule.
constexpr std::size_t kMaxAdapters = 16;

struct CIfAddrsDeleter
{
    void operator()(ifaddrs* p) const { freeifaddrs(p); }
};
} // namespace

std::optional<std::vector<std::vector<std::uint8_t>>> CDeviceID::ReadAdapters()
{
    ifaddrs* pList = nullptr;
    if (getifaddrs(&pList) != 0)
        return std::nullopt;
    const std::unique_ptr<ifaddrs, CIfAddrsDeleter> owner(pList);
    std::vector<std::vector<std::uint8_t>> adapters;
    for (const ifaddrs* p = pList; p; p = p->ifa_next)
    {
        if (!p->ifa_addr || p->ifa_addr->sa_family != AF_PACKET)
            continue;
        const auto* pLink = reinterpret_cast<const sockaddr_ll*>(p->ifa_addr);
        const std::size_t nLength =
            std::min<std::size_t>(pLink->sll_halen, sizeof(pLink->sll_addr));
        adapters.emplace_back(pLink->sll_addr, pLink->sll_addr + nLength);
    }
    if (adapters.size() > kMaxAdapters)
        return std::nullopt;
    return adapters;
}

std::string
CDeviceID::MakeDeviceID(const std::optional<std::vector<std::vector<std::uint8_t>>>& adapters)
{
    std::string strText;
    if (!adapters)
    {
        KLOG_ERR << "Can't get MAC address";
        strText = "DefaultModel";
    }
    else
    {
        for (const auto& address : *adapters)
            strText += CDigest::ToHex(address) + "\n";
    }
    return "W" + CDigest::ToHex(CDigest::MD5(CDigest::ToCP1251(strText)), true);
}

std::string CDeviceID::GetDeviceID()
{
    return MakeDeviceID(ReadAdapters());
}
