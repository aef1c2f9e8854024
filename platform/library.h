// Loading a dynamic library by path, for the tools and tests that load the driver as
// a host does. The driver itself never loads anything.
#pragma once

namespace krogw {

void* PlatformLibraryOpen(const char* path);  // nullptr on failure
void* PlatformLibrarySymbol(void* library, const char* name);
const char* PlatformLibraryError();
void PlatformLibraryClose(void* library);

}  // namespace krogw
