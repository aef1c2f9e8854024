// Replies that come on the sync channel after their senders stopped waiting. Each such
// request is remembered by the key of its reply, so that a reply is matched to the
// oldest request it can answer: a late confirmation never answers a later write, and a
// write's slot is released only by its own reply or a gateway change. Called only in
// the sync channel's turn.
#pragma once

#include "context/context.h"

namespace krogw {

// A sender stopped waiting for the reply with this key. A write (258, 259) keeps its
// in-flight slot for it.
void AwaitLateReply(DriverContext& context, const SyncReplyKey& key);

// True when an earlier request with this key still waits for its reply: a reply with
// the key answers that one first.
bool IsLateReplyAwaited(const DriverContext& context, const SyncReplyKey& key);

// A late reply came: the oldest request with its key is answered, and a write's slot
// released. False when no request waited for it (one a gateway change forgot, or sent
// twice): no slot is released.
bool TakeLateReply(DriverContext& context, const SyncReplyKey& key);

// After a gateway change: the requests that wait for late replies from the old gateway
// are forgotten, each write counted lost, and the writes' slots released. A sender waiting for its
// turn keeps its slot.
void ForgetLateReplies(DriverContext& context);

}  // namespace krogw
