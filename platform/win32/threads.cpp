#include <windows.h>

#include <ctime>
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

void PlatformYield() {
    SwitchToThread();
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

bool PlatformLocalTimeOf(int64_t calendar_seconds, PlatformTime& local) {
    const __time64_t seconds = calendar_seconds;
    tm fields{};
    if (_localtime64_s(&fields, &seconds) != 0 || fields.tm_year < -1900 ||
        fields.tm_year > 65535 - 1900) {
        return false;
    }
    local = PlatformTime{
        static_cast<uint16_t>(fields.tm_year + 1900), static_cast<uint16_t>(fields.tm_mon + 1),
        static_cast<uint16_t>(fields.tm_mday),        static_cast<uint16_t>(fields.tm_wday),
        static_cast<uint16_t>(fields.tm_hour),        static_cast<uint16_t>(fields.tm_min),
        static_cast<uint16_t>(fields.tm_sec),         0};
    return true;
}

void PlatformLoadTimeZone() {
    _tzset();
}

}  // namespace krogw
