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

bool PlatformExecutablePath(char* path, size_t capacity) {
    if (capacity == 0 || capacity > MAXDWORD) {
        return false;
    }
    const DWORD length = GetModuleFileNameA(nullptr, path, static_cast<DWORD>(capacity));
    return length > 0 && length < capacity;
}

}  // namespace krogw
