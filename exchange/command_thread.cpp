// The command thread: drains the command queue and takes the replies that come on the
// active sync channel after their sender stopped waiting.
#include "context/turn_queue.h"
#include "exchange/commands.h"
#include "exchange/sync_replies.h"
#include "exchange/threads.h"
#include "gateway/active_set.h"
#include "gateway/frame.h"
#include "gateway/socket_io.h"
#include "host/qivpro.h"
#include "platform/platform.h"

namespace krogw {
namespace {

constexpr uint32_t kStartPauseMs = 500;
constexpr uint32_t kEndPauseMs = 1500;
constexpr uint32_t kTurnPauseMs = 1;
constexpr uint32_t kHotBackupPauseMs = 2000;

// One read of the active sync channel, waiting up to wait_ms; the length of the message
// read into command_buffer, or 0. The thread waits for the channel to become readable
// outside the sync channel's turn, so that a write is never held up by an idle wait; it
// lines up for a turn, like any sender, only to read a message that has begun to
// arrive, and leaves the line when a sender's exchange keeps it waiting longer.
size_t ReadSyncChannel(DriverContext& context, int32_t wait_ms) {
    const SocketLease lease(context, ActiveSlot(context, ActiveChannel::Sync));
    if (lease.socket() == 0 || PlatformSocketWaitReadable(lease.socket(), wait_ms) != 1) {
        return 0;
    }
    const QueuedTurn turn(context.command_busy, kUnsolicitedWaitMs);
    // A sender may have read what was there before the turn came.
    if (!turn.taken() || PlatformSocketWaitReadable(lease.socket(), 0) != 1 ||
        !GwRecvUnsolicited(lease.socket(), context.command_buffer, sizeof context.command_buffer,
                           context)) {
        return 0;
    }
    return GwMessageLength(context.command_buffer, sizeof context.command_buffer);
}

bool QueuedWriteMaySend(const DriverContext& context) {
    return context.commands_in_flight.load() < context.cmd_buffer_length &&
           context.command_queue_count.load() != 0;
}

}  // namespace

void CommandThread(void* argument) {
    DriverContext& context = *static_cast<DriverContext*>(argument);
    err(kLogError, "KroGW : Start Command thread");
    PlatformSleepMs(kStartPauseMs);
    QivMessage message{};
    for (;;) {
        if (QivWaitMsg(context.client, &message, 0) == 0) {
            LeaveInstance(context);
            // The context may be gone once the client is: nothing of it is touched below.
            PlatformSleepMs(kEndPauseMs);
            return;
        }
        PlatformSleepMs(kTurnPauseMs);
        if (context.hot_backup_running.load() == 1) {
            PlatformSleepMs(kHotBackupPauseMs);
        }
        if (QueuedWriteMaySend(context)) {
            DrainCommandQueue(context);
        }
        // While queued writes may go, the next pass comes without waiting for the channel.
        const size_t received =
            ReadSyncChannel(context, QueuedWriteMaySend(context) ? 0 : kUnsolicitedWaitMs);
        if (received != 0) {
            TakeSyncMessage(context.command_buffer, received, context);
        }
    }
}

}  // namespace krogw
