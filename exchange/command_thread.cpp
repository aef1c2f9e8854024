// The command thread: drains the command queue and takes the replies that come on the
// active sync channel after their sender stopped waiting.
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

// One read of the active sync channel, unless a sender holds it; the length of the
// message read into command_buffer, or 0.
size_t ReadSyncChannel(DriverContext& context) {
    if (context.command_busy.exchange(1, std::memory_order_acquire) != 0) {
        return 0;
    }
    size_t received = 0;
    {
        const SocketLease lease(context, ActiveSlot(context, ActiveChannel::Sync));
        if (GwRecvUnsolicited(lease.socket(), context.command_buffer,
                              sizeof context.command_buffer)) {
            received = GwMessageLength(context.command_buffer, sizeof context.command_buffer);
        }
    }
    context.command_busy.store(0, std::memory_order_release);
    return received;
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
            QivRmClient(context.client);
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
        const size_t received = ReadSyncChannel(context);
        if (received != 0) {
            TakeSyncMessage(context.command_buffer, received, context);
        }
    }
}

}  // namespace krogw
