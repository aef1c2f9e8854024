// Who owns the socket in a slot of the context, and when it is closed. The platform
// may give a closed handle's value to the next socket it creates, so a closed handle
// must never be used, shut down or closed again: it leaves every slot before it is
// shut down, and it is closed once no thread holds a lease on it.
#pragma once

#include "context/context.h"
#include "platform/platform.h"

namespace krogw {

// Takes the handle out of the slot and out of every other channel slot of the context
// that holds it (the active set copies a gateway's handles) and shuts the socket down,
// which makes an exchange on it fail at once. Then it waits until no thread holds a
// lease on it and closes it. A slot holding 0 is left alone. A thread that holds a
// lease lets go before it closes anything.
void CloseSocketSlot(DriverContext& context, SocketSlot& slot);

// Copies the handle of a gateway slot into a slot of the active set, never one that
// is on its way out.
void CopySocketSlot(DriverContext& context, SocketSlot& copy, const SocketSlot& source);

// The cells of socket_users that hold the two gateways' status channels.
inline constexpr int kPrimaryStatusCell = 0;
inline constexpr int kSecondaryStatusCell = SocketSet::kSlots;

// A hold on the socket of a slot for one exchange: while it lasts the handle stays
// open (it may be shut down, and the exchange then fails). socket() is 0 when the slot
// held no open socket. Take it just before the exchange and let go right after.
class SocketLease {
  public:
    SocketLease(DriverContext& context, const SocketSlot& slot);
    ~SocketLease();
    SocketLease(const SocketLease&) = delete;
    SocketLease& operator=(const SocketLease&) = delete;

    PlatformSocket socket() const { return socket_; }
    // The gateway slot the socket belongs to, in the order of socket_users; -1 without
    // a socket.
    int cell() const { return cell_; }

  private:
    DriverContext& context_;
    int cell_ = -1;  // index into socket_users; -1 without a socket
    PlatformSocket socket_ = 0;
};

}  // namespace krogw
