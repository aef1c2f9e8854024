#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/platform.h"

namespace krogw {

PlatformFile PlatformFileCreateNew(const char* path) {
    const int fd = open(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    return fd < 0 ? kNoFile : fd;
}

bool PlatformFileWrite(PlatformFile file, const void* data, size_t bytes) {
    const auto* at = static_cast<const char*>(data);
    while (bytes > 0) {
        const ssize_t written = write(static_cast<int>(file), at, bytes);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return false;
        }
        at += written;
        bytes -= static_cast<size_t>(written);
    }
    return true;
}

bool PlatformFileClose(PlatformFile file) {
    return close(static_cast<int>(file)) == 0;
}

bool PlatformFileReplace(const char* from, const char* to) {
    return std::rename(from, to) == 0;
}

void PlatformFileRemove(const char* path) {
    unlink(path);
}

}  // namespace krogw
