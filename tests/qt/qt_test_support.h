// Shared by the Qt adapter tests: running the event loop against a deadline, and whether the
// run is sealed in a network namespace of its own.
#pragma once

#include <functional>

namespace qf::test {

// Processes events until the condition holds or the deadline passes; true when it held.
bool runEventsUntil(const std::function<bool()>& condition, int deadlineMs = 5000);
// Processes events for a while, for checks that something does not happen.
void runEventsFor(int ms);
// True when the tests run in a private network namespace with only the loopback interface.
bool networkIsolated();

} // namespace qf::test
