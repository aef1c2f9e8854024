#include <windows.h>

#include <new>

#include "platform/platform.h"
#include "platform/stack_size.h"

namespace krogw {
namespace {

struct ThreadStart {
    PlatformThreadBody body;
    void* arg;
};

DWORD WINAPI RunThread(LPVOID start_record) {
    const ThreadStart start = *static_cast<ThreadStart*>(start_record);
    delete static_cast<ThreadStart*>(start_record);
    start.body(start.arg);
    return 0;
}

}  // namespace

bool PlatformThreadStart(PlatformThreadBody body, void* arg, size_t stack_bytes) {
    auto* start = new (std::nothrow) ThreadStart{body, arg};
    if (start == nullptr) {
        return false;
    }
    HANDLE thread = CreateThread(nullptr, EffectiveStackBytes(stack_bytes, 0), RunThread, start,
                                 STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    if (thread == nullptr) {
        delete start;
        return false;
    }
    CloseHandle(thread);
    return true;
}

void PlatformSleepMs(uint32_t milliseconds) {
    Sleep(milliseconds);
}

int64_t PlatformMonotonicMs() {
    // GetTickCount64 moves in steps of about 16 ms; the performance counter does not.
    LARGE_INTEGER frequency;
    LARGE_INTEGER now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&now);
    return now.QuadPart / (frequency.QuadPart / 1000);
}

PlatformTime PlatformLocalTime() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    return PlatformTime{now.wYear, now.wMonth,  now.wDay,    now.wDayOfWeek,
                        now.wHour, now.wMinute, now.wSecond, now.wMilliseconds};
}

}  // namespace krogw
