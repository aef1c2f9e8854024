#include <limits.h>
#include <pthread.h>
#include <sched.h>

#include <cerrno>
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

void* RunThread(void* start_record) {
    const ThreadStart start = *static_cast<ThreadStart*>(start_record);
    delete static_cast<ThreadStart*>(start_record);
    start.body(start.arg);
    return nullptr;
}

}  // namespace

bool PlatformThreadStart(PlatformThreadBody body, void* arg, size_t stack_bytes) {
    auto* start = new (std::nothrow) ThreadStart{body, arg};
    if (start == nullptr) {
        return false;
    }
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
    pthread_t thread;
    const auto system_minimum = static_cast<size_t>(PTHREAD_STACK_MIN);
    const size_t floor =
        kPosixThreadStackFloor > system_minimum ? kPosixThreadStackFloor : system_minimum;
    const bool started =
        pthread_attr_setstacksize(&attributes, EffectiveStackBytes(stack_bytes, floor)) == 0 &&
        pthread_create(&thread, &attributes, RunThread, start) == 0;
    pthread_attr_destroy(&attributes);
    if (!started) {
        delete start;
    }
    return started;
}

void PlatformSleepMs(uint32_t milliseconds) {
    timespec remaining{static_cast<time_t>(milliseconds / 1000),
                       static_cast<long>(milliseconds % 1000) * 1000000L};
    while (nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
    }
}

void PlatformYield() {
    sched_yield();
}

int64_t PlatformMonotonicMs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

namespace {

PlatformTime TimeOf(const tm& local, long nanoseconds) {
    return PlatformTime{
        static_cast<uint16_t>(local.tm_year + 1900), static_cast<uint16_t>(local.tm_mon + 1),
        static_cast<uint16_t>(local.tm_mday),        static_cast<uint16_t>(local.tm_wday),
        static_cast<uint16_t>(local.tm_hour),        static_cast<uint16_t>(local.tm_min),
        static_cast<uint16_t>(local.tm_sec),         static_cast<uint16_t>(nanoseconds / 1000000)};
}

}  // namespace

PlatformTime PlatformLocalTime() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    tm local{};
    localtime_r(&now.tv_sec, &local);
    return TimeOf(local, now.tv_nsec);
}

bool PlatformLocalTimeOf(int64_t calendar_seconds, PlatformTime& local) {
    const auto seconds = static_cast<time_t>(calendar_seconds);
    tm fields{};
    if (seconds != calendar_seconds || localtime_r(&seconds, &fields) == nullptr ||
        fields.tm_year < -1900 || fields.tm_year > 65535 - 1900) {
        return false;
    }
    local = TimeOf(fields, 0);
    return true;
}

void PlatformLoadTimeZone() {
    tzset();
}

}  // namespace krogw
