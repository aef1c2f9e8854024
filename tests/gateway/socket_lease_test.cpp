// A socket in use under a lease is shut down by a close at once but closed only when
// the lease lets go; a lease taken after the close holds nothing.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <thread>

#include "gateway/socket_slot.h"
#include "tests/gateway/gateway_fixture.h"
#include "tests/support/loopback_listener.h"
#include "tests/support/test_net.h"

namespace krogw {
namespace {

using test::Logged;
using SocketLeaseTest = test::GatewayFixture;

TEST_F(SocketLeaseTest, CloseWaitsForTheLeaseButShutsTheSocketDownAtOnce) {
    test::LoopbackListener listener(test::TestAddress(91, 1));
    const PlatformSocket socket = test::ConnectLikeDriver(listener.address(), listener.port());
    const PlatformSocket peer = listener.Accept(2000);
    ASSERT_NE(peer, 0);
    context_->primary_sockets.sync = socket;
    context_->active_sockets.sync = socket;

    std::atomic<bool> closed{false};
    std::thread closer;
    {
        const SocketLease lease(*context_, context_->active_sockets.sync);
        ASSERT_EQ(lease.socket(), socket);
        closer = std::thread([&] {
            CloseSocketSlot(*context_, context_->primary_sockets.sync);
            closed = true;
        });
        EXPECT_EQ(PlatformSocketWaitReadable(peer, 2000), 1) << "shut down while leased";
        uint8_t byte = 0;
        EXPECT_LE(PlatformSocketRecv(peer, &byte, 1), 0);
        EXPECT_EQ(context_->primary_sockets.sync.load(), 0);
        EXPECT_EQ(context_->active_sockets.sync.load(), 0);
        EXPECT_EQ(SocketLease(*context_, context_->active_sockets.sync).socket(), 0);
        PlatformSleepMs(100);
        EXPECT_FALSE(closed.load()) << "closed under its user";
    }
    closer.join();
    EXPECT_TRUE(closed.load());
    PlatformSocketClose(peer);
}

// A slot change waits while another holds the slot lock, and is never made under it.
TEST_F(SocketLeaseTest, ASlotChangeWaitsForTheSlotLock) {
    context_->primary_sockets.sync = 77;
    context_->slot_change_lock = 1;
    auto copy = std::async(std::launch::async, [&] {
        CopySocketSlot(*context_, context_->active_sockets.sync, context_->primary_sockets.sync);
    });
    EXPECT_EQ(copy.wait_for(std::chrono::milliseconds(300)), std::future_status::timeout);
    EXPECT_EQ(context_->active_sockets.sync.load(), 0) << "changed under the lock's holder";
    context_->slot_change_lock = 0;
    if (copy.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
        std::fprintf(stderr, "the slot change waits for a lock let go\n");
        std::_Exit(1);
    }
    EXPECT_EQ(context_->active_sockets.sync.load(), 77);
    EXPECT_EQ(context_->slot_change_lock.load(), 0);
    context_->primary_sockets.sync = 0;
    context_->active_sockets.sync = 0;
}

// A lease count left up (host memory written over) holds a close for a bounded time;
// the socket is then left open rather than closed under a user.
TEST_F(SocketLeaseTest, ALeftOverLeaseLeavesTheSocketOpenAfterItsBound) {
    test::LoopbackListener listener(test::TestAddress(91, 2));
    const PlatformSocket socket = test::ConnectLikeDriver(listener.address(), listener.port());
    context_->primary_sockets.sync = socket;
    context_->sync_reply_timeout = 10;
    context_->socket_users[1] = 1;
    auto close = std::async(std::launch::async,
                            [&] { CloseSocketSlot(*context_, context_->primary_sockets.sync); });
    if (close.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
        std::fprintf(stderr, "the close waits for a left-over lease for ever\n");
        std::_Exit(1);
    }
    EXPECT_EQ(context_->primary_sockets.sync.load(), 0);
    EXPECT_EQ(Logged(kLogError, "KroGW : Socket still leased after 520 ms, left open"), 1);
    EXPECT_TRUE(PlatformSocketSetNonBlocking(socket)) << "the handle is still open";
    context_->socket_users[1] = 0;
    PlatformSocketClose(socket);
}

}  // namespace
}  // namespace krogw
