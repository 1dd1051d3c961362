// Moves a test process into a network namespace of its own with only loopback up, so that it may
// bind any port, even one the machine's programs hold, and nothing it sends leaves the machine.
#pragma once

namespace qf::test {

// Call first thing in main(), before any thread exists. As root a plain network namespace; otherwise
// a user namespace around it in which this user stays who it was and keeps no capabilities. False
// when the system allows neither; the process then stays where it was.
bool isolateNetwork();

} // namespace qf::test
