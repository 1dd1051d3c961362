// Runs the Qt adapter tests inside a QApplication, offscreen, in a network namespace of their own
// with only loopback up, so nothing a test sends (multicast membership reports, name look-ups) can
// leave the machine.
#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <gtest/gtest.h>

#include "qt_test_support.h"
#include "support/network_namespace.h"

namespace qf::test {
namespace {

bool isolated = false;

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
