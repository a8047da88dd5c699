// The groups of checks of the Windows suite, in the order the suite runs them.
#ifndef USB1284_TESTS_WINDOWS_GROUPS_H
#define USB1284_TESTS_WINDOWS_GROUPS_H

#include "support.h"

namespace suite {

// The exports, by name and by ordinal, and an enumeration on a machine without such devices.
void TestExports(const Library& library);
// A port's life on a pipe device: open, close, reopen, destruction.
void TestPortLifecycle(const Library& library);
// Write and Read on a pipe device: chunking, gathering, timeouts.
void TestTransfers(const Library& library);
// The last-error value after each kind of failure, as the public header states it.
void TestLastError(const Library& library);
// Exclusive open, on plain files: a port opens nothing another handle holds, and shares nothing.
void TestSharing(const Library& library);

}  // namespace suite

#endif  // USB1284_TESTS_WINDOWS_GROUPS_H
