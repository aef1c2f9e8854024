// Every allocation function of the test program is replaced; while armed, each call is
// charged to the first library on its stack that is the driver or the host runtime,
// so that what the host allocates when the driver calls it stays the host's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace krogw::test::allocations {

// Notes the code of the two loaded libraries, by file name, and starts counting;
// false when either is not loaded.
bool Arm(const char* driver_file_name, const char* host_file_name);
void Disarm();

// Every allocation counted while armed, whoever made it.
uint64_t All();
// The driver's, with the first call sites as offsets into the driver library.
uint64_t Driver();
std::vector<uintptr_t> DriverSites();

}  // namespace krogw::test::allocations
