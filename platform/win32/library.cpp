#include <windows.h>

#include <cstdio>

#include "platform/library.h"

namespace krogw {

void* PlatformLibraryOpen(const char* path) {
    return reinterpret_cast<void*>(LoadLibraryA(path));
}

void* PlatformLibrarySymbol(void* library, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

const char* PlatformLibraryError() {
    static char text[32];
    std::snprintf(text, sizeof text, "error %lu", GetLastError());
    return text;
}

void PlatformLibraryClose(void* library) {
    FreeLibrary(static_cast<HMODULE>(library));
}

}  // namespace krogw
