#include <dlfcn.h>

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

}  // namespace krogw
