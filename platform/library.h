// Loading a dynamic library by path, for the tools and tests that load the driver as
// a host does. The driver itself never loads anything.
#pragma once

#include <cstddef>

namespace krogw {

void* PlatformLibraryOpen(const char* path);  // nullptr on failure
void* PlatformLibrarySymbol(void* library, const char* name);
const char* PlatformLibraryError();
void PlatformLibraryClose(void* library);
// The running program's own file, for finding what is installed beside it; false when
// the system does not tell or the path does not fit.
bool PlatformExecutablePath(char* path, size_t capacity);

}  // namespace krogw
