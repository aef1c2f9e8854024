#include <windows.h>

#include "platform/platform.h"

namespace krogw {

PlatformFile PlatformFileCreateNew(const char* path) {
    // CREATE_NEW fails on anything already there; a link is not followed to a new file.
    const HANDLE handle =
        CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    return handle == INVALID_HANDLE_VALUE ? kNoFile : reinterpret_cast<PlatformFile>(handle);
}

bool PlatformFileWrite(PlatformFile file, const void* data, size_t bytes) {
    const auto* at = static_cast<const char*>(data);
    while (bytes > 0) {
        const DWORD chunk = bytes > 0x10000000u ? 0x10000000u : static_cast<DWORD>(bytes);
        DWORD written = 0;
        if (!WriteFile(reinterpret_cast<HANDLE>(file), at, chunk, &written, nullptr) ||
            written == 0) {
            return false;
        }
        at += written;
        bytes -= written;
    }
    return true;
}

bool PlatformFileClose(PlatformFile file) {
    return CloseHandle(reinterpret_cast<HANDLE>(file)) != 0;
}

bool PlatformFileReplace(const char* from, const char* to) {
    return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

void PlatformFileRemove(const char* path) {
    DeleteFileA(path);
}

}  // namespace krogw
