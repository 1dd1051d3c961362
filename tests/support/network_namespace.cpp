#include "support/network_namespace.h"

#include <fcntl.h>
#include <linux/capability.h>
#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace qf::test {
namespace {

bool bringLoopbackUp()
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return false;
    }
    ifreq request{};
    std::strncpy(request.ifr_name, "lo", IFNAMSIZ - 1);
    bool up = ::ioctl(fd, SIOCGIFFLAGS, &request) == 0;
    if (up) {
        request.ifr_flags = static_cast<short>(request.ifr_flags | IFF_UP);
        up = ::ioctl(fd, SIOCSIFFLAGS, &request) == 0;
    }
    ::close(fd);
    return up;
}

bool writeText(const char* path, const std::string& text)
{
    const int fd = ::open(path, O_WRONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    const bool written = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    ::close(fd);
    return written;
}

bool plainNamespace()
{
    const int original = ::open("/proc/self/ns/net", O_RDONLY | O_CLOEXEC);
    if (original < 0) {
        return false;
    }
    bool done = false;
    if (::unshare(CLONE_NEWNET) == 0) {
        done = bringLoopbackUp();
        if (!done) {
            (void)::setns(original, CLONE_NEWNET);
        }
    }
    ::close(original);
    return done;
}

// The capabilities a new user namespace grants would let this user write its own read-only files.
void dropCapabilities()
{
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3] = {};
    (void)::syscall(SYS_capset, &header, data);
}

bool userNamespace()
{
    const uid_t uid = ::geteuid();
    const gid_t gid = ::getegid();
    if (::unshare(CLONE_NEWUSER | CLONE_NEWNET) != 0) {
        return false;
    }
    // From here there is no way back to the machine's network: a half-made namespace must stop the run.
    const bool done = writeText("/proc/self/setgroups", "deny") &&
                      writeText("/proc/self/uid_map", std::to_string(uid) + " " + std::to_string(uid) + " 1") &&
                      writeText("/proc/self/gid_map", std::to_string(gid) + " " + std::to_string(gid) + " 1") &&
                      bringLoopbackUp();
    if (!done) {
        std::fprintf(stderr, "cannot set up the test's own network namespace: %s\n", std::strerror(errno));
        std::exit(1);
    }
    if (uid != 0) {
        dropCapabilities();
    }
    return true;
}

} // namespace

bool isolateNetwork()
{
    return (::geteuid() == 0 && plainNamespace()) || userNamespace();
}

} // namespace qf::test
