// Closing the socket held in a slot of the context. The platform may give a closed
// handle's value to the next socket it creates, so a closed handle must never be
// used, shut down or closed again: it leaves every slot before it is closed.
#pragma once

#include "driver/context.h"

namespace krogw {

// Takes the handle out of the slot, clears every other channel slot of the context
// that holds the same handle (the active set copies a gateway's handles), then shuts
// the socket down and closes it, once. A slot holding 0 is left alone.
void CloseSocketSlot(DriverContext& context, SocketSlot& slot);

}  // namespace krogw
