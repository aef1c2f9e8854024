// The two threads of an instance; each runs until the host ends the instance's
// client. The argument is the instance's DriverContext.
#pragma once

namespace krogw {

void BurstThread(void* context);
void CommandThread(void* context);

}  // namespace krogw
