// The in-flight limits: polls sent and not yet answered (poll_buffer_length) and writes
// sent and not yet confirmed (cmd_buffer_length), counted in the context.
#pragma once

#include "context/context.h"

namespace krogw {

// Counts one poll in flight unless poll_buffer_length are.
bool TakePollSlot(DriverContext& context);

// Counts one write in flight unless cmd_buffer_length are.
bool TakeCommandSlot(DriverContext& context);

// A write whose sender stopped waiting keeps its in-flight slot for its late reply;
// the late reply, or a gateway change that forgets it, releases the slot. Called
// under command_busy.
void KeepSlotForLateReply(DriverContext& context);

// A late reply to a write: releases the slot of one write that stopped waiting, if any
// did. A reply nobody waits for (one a gateway change forgot, or sent twice) must not
// free a sender's slot.
void ReleaseLateReplySlot(DriverContext& context);

// After a gateway change, under command_busy: the writes that wait for a late reply
// from the old gateway are forgotten and their slots released. A sender waiting for
// command_busy keeps its slot.
void ForgetLateReplies(DriverContext& context);

}  // namespace krogw
