// Closing the socket held in a slot of the context. The platform may give a closed
// handle's value to the next socket it creates, so a closed handle must never be
// used, shut down or closed again: it leaves every slot before it is closed, and a
// slot that held it then reads 0, "not open".
#pragma once

#include "driver/context.h"
#include "platform/platform.h"

namespace krogw {

// Takes the handle out of the slot, clears every other channel slot of the context
// that holds the same handle (the active set copies a gateway's handles), then shuts
// the socket down and closes it, once. A slot holding 0 is left alone.
void CloseSocketSlot(DriverContext& context, SocketSlot& slot);

// The same for a channel known by its handle, as the socket primitives know it: every
// channel slot holding the handle is cleared, and the call that cleared one closes
// it. A handle that no slot holds is not the context's and is left alone.
void CloseChannelSocket(DriverContext& context, PlatformSocket socket);

}  // namespace krogw
