#include "platform/local_addresses.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <netinet/in.h>

namespace qf {
namespace {

bool parse(const std::string& dotted, in_addr& out)
{
    return ::inet_pton(AF_INET, dotted.c_str(), &out) == 1;
}

} // namespace

bool isLoopbackAddress(const std::string& dotted)
{
    in_addr a{};
    return parse(dotted, a) && (ntohl(a.s_addr) >> 24) == 127;
}

bool isAddressOfThisMachine(const std::string& dotted)
{
    in_addr wanted{};
    if (!parse(dotted, wanted)) {
        return false;
    }
    if ((ntohl(wanted.s_addr) >> 24) == 127) {
        return true;
    }
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) {
        return false;
    }
    bool found = false;
    for (const ifaddrs* i = list; i != nullptr && !found; i = i->ifa_next) {
        if (i->ifa_addr != nullptr && i->ifa_addr->sa_family == AF_INET) {
            found = reinterpret_cast<const sockaddr_in*>(i->ifa_addr)->sin_addr.s_addr == wanted.s_addr;
        }
    }
    ::freeifaddrs(list);
    return found;
}

} // namespace qf
