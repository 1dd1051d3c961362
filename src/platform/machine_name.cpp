#include "platform/machine_name.h"

#include <unistd.h>

namespace qf {

std::string machineName()
{
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0) {
        return {};
    }
    return name;
}

} // namespace qf
