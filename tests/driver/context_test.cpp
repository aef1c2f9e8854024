// The instance's context: its size limit and the defaults that ResetContext gives.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "context/context.h"

namespace krogw {
namespace {

std::unique_ptr<DriverContext> DirtyContext() {
    auto context = std::make_unique<DriverContext>();
    // Everything non-zero, as a reused host allocation would be.
    std::memset(static_cast<void*>(context.get()), 0x6B, sizeof *context);
    return context;
}

TEST(ContextTest, FitsTheSizeTheHostAllocates) {
    EXPECT_LE(sizeof(DriverContext), 2317056u);
}

TEST(ContextTest, ResetGivesEveryDefault) {
    auto context = DirtyContext();
    ResetContext(3, *context);

    const DriverContext& c = *context;
    EXPECT_EQ(c.driver_number, 0x03);
    for (int table = 0; table < kTableTypes; ++table) {
        EXPECT_EQ(c.column_count[table], 0);
        for (int column = 0; column < kColumnTypeSlots; ++column) {
            ASSERT_EQ(c.column_types[table][column], 0);
        }
    }
    for (int gate = 0; gate < kGateTableTypeEntries; ++gate) {
        ASSERT_EQ(c.gate_table_type[gate], 0) << gate;
    }
    for (int rtu = 1; rtu < kRtuEntries; ++rtu) {
        ASSERT_EQ(c.rtu_state[rtu], RtuNotConfirmed) << rtu;
    }
    EXPECT_EQ(c.secondary_configured, 0);
    EXPECT_EQ(c.gateway_ok, 0);
    EXPECT_EQ(c.poll_buffer_length, 10);
    EXPECT_EQ(c.cmd_buffer_length, 10);
    EXPECT_EQ(c.cmd_response_time, 10000);
    for (const SocketSlot* slot :
         {&c.active_sockets.status, &c.active_sockets.sync, &c.active_sockets.burst,
          &c.primary_sockets.status, &c.primary_sockets.sync, &c.primary_sockets.burst,
          &c.secondary_sockets.status, &c.secondary_sockets.sync, &c.secondary_sockets.burst}) {
        EXPECT_EQ(slot->load(), 0);
    }
    EXPECT_EQ(c.active_sockets.channel_id, 0);
    EXPECT_EQ(c.primary_sockets.channel_id, 0);
    EXPECT_EQ(c.secondary_sockets.channel_id, 0);
    EXPECT_EQ(c.active_gateway, 1);
    EXPECT_EQ(c.command_busy, 0);
    EXPECT_EQ(c.status_channel_busy[0], 0);
    EXPECT_EQ(c.status_channel_busy[1], 0);
    EXPECT_EQ(c.command_queue_lock, 0);
    EXPECT_EQ(c.poll_queue_lock, 0);
    EXPECT_EQ(c.polls_in_flight, 0);
    EXPECT_EQ(c.poll_queue_count, 0);
    EXPECT_EQ(c.commands_in_flight, 0);
    EXPECT_EQ(c.command_queue_count, 0);
    EXPECT_EQ(c.poll_queue_head, 0);
    EXPECT_EQ(c.command_queue_head, 0);
    EXPECT_EQ(c.sign_rtu_on_fail, 1);
    EXPECT_EQ(c.hot_backup_running, 0);
    EXPECT_EQ(c.last_error_code, 1);
    EXPECT_EQ(c.error_gate_id, 0);
    EXPECT_EQ(c.connect_failure_logged, 0);
    EXPECT_EQ(c.parse_flag, 1);
    for (const auto& param : c.setcall_params) {
        EXPECT_EQ(param, 0);
    }
    EXPECT_EQ(c.primary_mode_value, 1);
    EXPECT_EQ(c.secondary_mode_value, 5);
    EXPECT_EQ(c.poll_result_on_write, 1);
}

TEST(ContextTest, ResetLeavesWhatStartUpSetsItself) {
    auto context = DirtyContext();
    std::strcpy(context->primary_address, "10.1.1.5");
    std::strcpy(context->secondary_address, "10.1.1.6");
    context->client = 9;
    context->sync_reply_timeout = 3010;
    context->start_flag = 1;
    ResetContext(1, *context);

    EXPECT_STREQ(context->primary_address, "10.1.1.5");
    EXPECT_STREQ(context->secondary_address, "10.1.1.6");
    EXPECT_EQ(context->client, 9);
    EXPECT_EQ(context->sync_reply_timeout, 3010);
    EXPECT_EQ(context->start_flag, 1);
    // Buffers and queue entries keep their bytes: only the counts say they are empty.
    EXPECT_EQ(context->burst_buffer[0], 0x6B);
    EXPECT_EQ(context->command_buffer[8299], 0x6B);
    EXPECT_EQ(context->mode_message[8199], 0x6B);
    EXPECT_EQ(context->poll_queue[9999].subaddress, 0x6B6B6B6B);
    EXPECT_EQ(context->command_queue[1999].elements[999], 0x6B);
}

}  // namespace
}  // namespace krogw
