// The two threads of an instance; each runs until the host ends the instance's
// client. The argument is the instance's DriverContext.
#pragma once

namespace krogw {

struct DriverContext;

void BurstThread(void* context);
void CommandThread(void* context);

// The last a thread does with the context: it counts itself out of instance_threads,
// then removes the host client. The host may free the context once both threads have
// removed the client, and may start the instance again on it at once.
void LeaveInstance(DriverContext& context);

}  // namespace krogw
