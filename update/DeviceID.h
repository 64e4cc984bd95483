#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The device identifier carried by most request bodies: "W" and the upper-case
// hex MD5 of the network adapters' hardware addresses, one line each.
class CDeviceID
{
public:
    // Computed afresh from the adapters getifaddrs reports.
    static std::string GetDeviceID();
    // From a list of hardware addresses in the order the system returned them;
    // no list (the adapters could not be read) gives the digest of "DefaultModel".
    static std::string
    MakeDeviceID(const std::optional<std::vector<std::vector<std::uint8_t>>>& adapters);
    // The hardware addresses of the AF_PACKET entries, or nothing when they
    // cannot be read (or there are more than the 16 the identifier allows).
    static std::optional<std::vector<std::vector<std::uint8_t>>> ReadAdapters();
};
