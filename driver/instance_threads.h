// The instance's two threads as start-up starts them: each is counted in
// instance_threads until it is done with the context, so that a start request can
// tell that the instance is running and refuse to reset its context under them.
#pragma once

#include <cstdint>

#include "context/context.h"
#include "platform/platform.h"

namespace krogw {

// The host may hand over the context uninitialised: a running count is a mark and a
// number, which leftover bytes are most unlikely to read as.
inline constexpr uint16_t kThreadsMark = 0x5A00;
inline constexpr uint16_t kInstanceThreads = 2;

// True while a thread started by StartInstanceThreads may still use the context.
bool InstanceThreadsRunning(const DriverContext& context);

// Starts the burst thread, then the command thread, with the stack the host's
// platform gives them. 0, or 2 with its log line when a thread cannot be created;
// a burst thread already started has then closed the channels, removed the client
// and left the context, which the host may free. `start` creates the threads.
using ThreadStarter = bool (*)(PlatformThreadBody body, void* arg, size_t stack_bytes);
int32_t StartInstanceThreads(DriverContext& context, ThreadStarter start = PlatformThreadStart);

}  // namespace krogw
