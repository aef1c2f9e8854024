// The driver's only door to the operating system: TCP sockets, threads, sleeping and
// clocks. One interface, a POSIX and a Win32 implementation.
#pragma once

#include <cstddef>
#include <cstdint>

namespace krogw {

// A socket handle; 0 means "not open" and is never a valid handle.
using PlatformSocket = int32_t;
inline constexpr PlatformSocket kInvalidSocket = -1;

// Starts and stops the socket library (Windows Sockets 1.1); 0 on success, otherwise
// the library's error code. No-ops that answer 0 where nothing needs starting.
int PlatformNetStart();
int PlatformNetCleanup();

// A TCP/IPv4 stream socket, or kInvalidSocket. Child processes do not inherit it.
PlatformSocket PlatformSocketOpen();
bool PlatformSocketSetLingerZero(PlatformSocket socket);
bool PlatformSocketSetNonBlocking(PlatformSocket socket);

// Probes a connection that has been idle for idle_seconds, every kKeepAliveProbeGapS,
// and breaks it when kKeepAliveProbes go unanswered, so that a peer that vanished
// without closing is found (reads and sends then fail as on a reset connection). On
// Linux, data left unacknowledged for as long breaks it too. Windows sends its own
// number of probes (10). False when the system refused an option.
inline constexpr int32_t kKeepAliveProbeGapS = 2;
inline constexpr int32_t kKeepAliveProbes = 3;
bool PlatformSocketSetKeepAlive(PlatformSocket socket, int32_t idle_seconds);

enum class ConnectOutcome {
    Connected,         // the call returned 0
    AlreadyConnected,  // an earlier call established it (WSAEISCONN / EISCONN)
    Failed,            // still in progress, refused, or the address text is not dotted IPv4
};
// The address text must pass ParseIpv4Text (platform/ipv4_text.h).
ConnectOutcome PlatformSocketConnect(PlatformSocket socket, const char* ipv4_text, uint16_t port);

// Bytes sent or received; kSocketWouldBlock when a non-blocking socket cannot move
// anything yet, kSocketError when the connection is broken. A receive returns 0 when
// the peer has closed the connection.
inline constexpr int kSocketWouldBlock = -1;
inline constexpr int kSocketError = -2;
int PlatformSocketSend(PlatformSocket socket, const void* data, int length);
int PlatformSocketRecv(PlatformSocket socket, void* data, int length);

// 1 when the socket is ready, 0 after the time-out, -1 when it is in error or hung
// up (a receive or send will then not wait). A signal does not cut the wait short.
int PlatformSocketWaitReadable(PlatformSocket socket, int32_t timeout_ms);
int PlatformSocketWaitWritable(PlatformSocket socket, int32_t timeout_ms);

void PlatformSocketShutdown(PlatformSocket socket);  // both directions
void PlatformSocketClose(PlatformSocket socket);

// Files, for the statistics file: a handle, or kNoFile.
using PlatformFile = intptr_t;
inline constexpr PlatformFile kNoFile = -1;
// Creates a file for writing that must not exist yet: anything already at the path, a
// link included, makes it fail, so that nothing there is followed or overwritten.
PlatformFile PlatformFileCreateNew(const char* path);
// Writes all the bytes; false when they did not all go.
bool PlatformFileWrite(PlatformFile file, const void* data, size_t bytes);
// False when what was written may not have reached the file.
bool PlatformFileClose(PlatformFile file);
// Puts the file at from in place of the one at to, in one step for a reader of to.
bool PlatformFileReplace(const char* from, const char* to);
void PlatformFileRemove(const char* path);

// Starts a detached thread running body(arg). On Windows stack_bytes is a reservation
// that grows on demand; on POSIX it would be the whole stack, so it is raised to
// kPosixThreadStackFloor (platform/stack_size.h) there.
using PlatformThreadBody = void (*)(void* arg);
bool PlatformThreadStart(PlatformThreadBody body, void* arg, size_t stack_bytes);

void PlatformSleepMs(uint32_t milliseconds);

// Lets another ready thread run, if there is one; returns at once otherwise.
void PlatformYield();

// Milliseconds on a clock that never jumps; for measuring waits.
int64_t PlatformMonotonicMs();

struct PlatformTime {
    uint16_t year;
    uint16_t month;        // 1..12
    uint16_t day;          // 1..31
    uint16_t day_of_week;  // 0 = Sunday
    uint16_t hour;
    uint16_t minute;
    uint16_t second;
    uint16_t milliseconds;
};
PlatformTime PlatformLocalTime();
// The local time of a calendar second (seconds since 1970 UTC); false when the C
// library cannot show it. Reads nothing and allocates nothing once the zone is loaded.
bool PlatformLocalTimeOf(int64_t calendar_seconds, PlatformTime& local);
// Loads the C library's time zone rules, which it would otherwise load, allocating,
// on its first local time conversion. Not to be called from two threads at once.
void PlatformLoadTimeZone();

}  // namespace krogw
