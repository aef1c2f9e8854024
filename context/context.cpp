#include "context/context.h"

#include <cstring>

namespace krogw {

void ResetTurnQueue(TurnQueue& queue) {
    queue.next_ticket.store(0);
    queue.serving.store(0);
    for (auto& mark : queue.given_up) {
        mark.store(0);
    }
}

void ResetContext(uint8_t driver_number, DriverContext& context) {
    std::memset(context.column_types, 0, sizeof context.column_types);
    std::memset(context.column_count, 0, sizeof context.column_count);
    for (auto& entry : context.gate_table_type) {
        entry.store(0, std::memory_order_relaxed);
    }
    for (auto& state : context.rtu_state) {
        state.store(RtuNotConfirmed, std::memory_order_relaxed);
    }
    context.secondary_configured = 0;
    context.gateway_ok = 0;
    context.poll_buffer_length = 10;
    context.cmd_buffer_length = 10;
    context.cmd_response_time = 10000;
    context.keepalive_idle_s = kDefaultKeepAliveIdleS;
    for (SocketSet* sockets : SocketSets(context)) {
        for (SocketSlot* slot : sockets->Slots()) {
            slot->store(0);
        }
        sockets->channel_id = 0;
    }
    context.active_gateway = 1;
    context.gateway_change_running = 0;
    context.slot_change_lock = 0;
    ResetTurnQueue(context.command_busy);
    for (auto& busy : context.status_channel_busy) {
        busy.store(0);
    }
    context.command_queue_lock = 0;
    context.poll_queue_lock = 0;
    context.error_gate_lock = 0;
    context.polls_in_flight = 0;
    context.poll_queue_count = 0;
    context.commands_in_flight = 0;
    context.command_queue_count = 0;
    context.commands_awaiting_reply = 0;
    context.late_reply_count = 0;
    context.poll_queue_head = 0;
    context.command_queue_head = 0;
    context.sign_rtu_on_fail = 1;
    context.hot_backup_running = 0;
    context.last_error_code = 1;
    context.error_gate_id = 0;
    context.connect_failure_logged = 0;
    context.parse_flag = 1;
    context.driver_number = driver_number;
    for (auto& param : context.setcall_params) {
        param.store(0);
    }
    context.primary_mode_value = 1;
    context.secondary_mode_value = 5;
    context.poll_result_on_write = 1;
    for (auto& users : context.socket_users) {
        users.store(0);
    }
    context.start_abandoned = 0;
    context.local_hour = LocalHourMemo{};
    context.start_mark = kStartMark;
}

}  // namespace krogw
