// Runs the Qt adapter tests inside a QApplication, offscreen; as root the process first moves into
// a network namespace of its own with only loopback up, so nothing a test sends (multicast
// membership reports, name look-ups) can leave the machine.
#include <arpa/inet.h>
#include <fcntl.h>
#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <cstring>
#include <gtest/gtest.h>

#include "qt_test_support.h"

namespace qf::test {
namespace {

bool isolated = false;

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

// Must run before any thread exists: unshare() refuses a multi-threaded process.
bool isolateNetwork()
{
    if (::geteuid() != 0) {
        return false;
    }
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

} // namespace

bool networkIsolated()
{
    return isolated;
}

bool runEventsUntil(const std::function<bool()>& condition, int deadlineMs)
{
    QElapsedTimer elapsed;
    elapsed.start();
    QTimer wake;
    wake.start(5);
    while (!condition()) {
        if (elapsed.elapsed() >= deadlineMs) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

void runEventsFor(int ms)
{
    QElapsedTimer elapsed;
    elapsed.start();
    runEventsUntil([&] { return elapsed.elapsed() >= ms; }, ms + 1000);
}

} // namespace qf::test

int main(int argc, char** argv)
{
    qf::test::isolated = qf::test::isolateNetwork();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
