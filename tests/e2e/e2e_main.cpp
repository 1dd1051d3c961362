// Every end-to-end test runs in a network namespace of its own with only loopback up: the program
// may then take the spot service's fixed port, whatever this machine runs, and nothing leaves it.
#include <gtest/gtest.h>

#include "e2e/e2e_support.h"
#include "support/network_namespace.h"

namespace {
bool isolated = false;
} // namespace

bool qf::e2e::networkIsolated()
{
    return isolated;
}

int main(int argc, char** argv)
{
    isolated = qf::test::isolateNetwork();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
