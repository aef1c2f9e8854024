#include <dlfcn.h>
#include <unistd.h>

#include "platform/library.h"

namespace krogw {

void* PlatformLibraryOpen(const char* path) {
    return dlopen(path, RTLD_NOW | RTLD_LOCAL);
}

void* PlatformLibrarySymbol(void* library, const char* name) {
    return dlsym(library, name);
}

const char* PlatformLibraryError() {
    const char* message = dlerror();
    return message != nullptr ? message : "no error";
}

void PlatformLibraryClose(void* library) {
    dlclose(library);
}

bool PlatformExecutablePath(char* path, size_t capacity) {
    if (capacity == 0) {
        return false;
    }
    const ssize_t length = readlink("/proc/self/exe", path, capacity - 1);
    if (length <= 0 || static_cast<size_t>(length) >= capacity - 1) {
        return false;
    }
    path[length] = '\0';
    return true;
}

}  // namespace krogw
