// Chosen failures of platform operations, for tests: a test arms an operation by its
// platform name, and the operation then fails on its Nth call from now, once or from
// then on, exactly as it would fail on the device. Nothing outside the tests arms one.
#pragma once

namespace device {

// Fails the `nth` next call (1 = the very next) of `operation`; with `persist`, that call
// and every later one. A name no operation asks by (a misspelling), or a seventeenth fault
// armed at once, stops the process with a message: a fault that could never fire must not
// let a test pass.
void faultArm(const char* operation, int nth, bool persist = false);

// Disarms every fault.
void faultDisarmAll();

// Asked first by every operation that can be made to fail, by a name listed in faults.cpp.
// RETURNS true when this call is to fail.
bool faultHit(const char* operation);

}  // namespace device
