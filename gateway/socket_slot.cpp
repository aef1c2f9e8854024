#include "gateway/socket_slot.h"

#include "context/counters.h"
#include "context/flag_lock.h"
#include "context/statistics_count.h"
#include "host/qivpro.h"

namespace krogw {
namespace {

constexpr uint32_t kWaitMs = 1;

// The gateway slot of a cell of socket_users.
SocketSlot& GatewaySlot(DriverContext& context, int cell) {
    SocketSet& sockets =
        cell < SocketSet::kSlots ? context.primary_sockets : context.secondary_sockets;
    return *sockets.Slots()[static_cast<size_t>(cell % SocketSet::kSlots)];
}

// The gateway slot that holds the handle, or -1.
int CellHolding(DriverContext& context, PlatformSocket socket) {
    for (int cell = 0; cell < kGatewaySocketSlots; ++cell) {
        if (GatewaySlot(context, cell).load() == socket) {
            return cell;
        }
    }
    return -1;
}

void ClearIfHolding(SocketSlot& slot, PlatformSocket socket) {
    PlatformSocket expected = socket;
    slot.compare_exchange_strong(expected, 0);
}

}  // namespace

void CloseSocketSlot(DriverContext& context, SocketSlot& slot) {
    PlatformSocket socket = 0;
    int cell = -1;
    {
        const FlagLock lock(context.slot_change_lock);
        socket = slot.load();
        if (socket == 0) {
            return;
        }
        cell = CellHolding(context, socket);
        for (SocketSet* sockets : SocketSets(context)) {
            for (SocketSlot* other : sockets->Slots()) {
                ClearIfHolding(*other, socket);
            }
        }
        ClearIfHolding(slot, socket);
    }
    // What fails on it from now on is this close, not a loss of the gateway.
    ForgetChannelSocket(context, socket);
    PlatformSocketShutdown(socket);
    // A lease taken from now on finds the slots cleared and lets go at once, so once
    // the count is 0 nobody can use the handle any more.
    if (cell >= 0) {
        // A lease lasts one exchange, which fails at once on a socket shut down; a count
        // that does not fall by then was left over.
        const int64_t wait_ms = ExchangeHoldMs(context);
        const int64_t deadline = PlatformMonotonicMs() + wait_ms;
        while (context.socket_users[cell].load() != 0) {
            if (PlatformMonotonicMs() >= deadline) {
                // Better a handle left open than one closed under a user.
                err(kLogError, "KroGW : Socket still leased after %d ms, left open",
                    static_cast<int>(wait_ms));
                return;
            }
            PlatformSleepMs(kWaitMs);
        }
    }
    PlatformSocketClose(socket);
}

void CopySocketSlot(DriverContext& context, SocketSlot& copy, const SocketSlot& source) {
    const FlagLock lock(context.slot_change_lock);
    copy.store(source.load());
}

SocketLease::SocketLease(DriverContext& context, const SocketSlot& slot) : context_(context) {
    for (;;) {
        const PlatformSocket socket = slot.load();
        if (socket == 0) {
            return;
        }
        const int cell = CellHolding(context, socket);
        if (cell < 0) {
            return;  // on its way to being closed
        }
        std::atomic<uint8_t>& users = context.socket_users[cell];
        users.fetch_add(1);
        // A closer clears the slots before it looks at the users: either it sees us,
        // or we see a cleared slot.
        const SocketSlot& owner = GatewaySlot(context, cell);
        if (slot.load() == socket && owner.load() == socket) {
            cell_ = cell;
            socket_ = socket;
            return;
        }
        DecrementNotBelowZero(users);
    }
}

SocketLease::~SocketLease() {
    if (cell_ >= 0) {
        DecrementNotBelowZero(context_.socket_users[cell_]);
    }
}

}  // namespace krogw
