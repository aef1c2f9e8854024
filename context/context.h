// All state of one driver instance: one flat block that the host allocates at the
// size the driver information reports and passes with every request.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>

namespace krogw {

inline constexpr int32_t kContextSize = 2317056;

inline constexpr int kTableTypes = 100;
inline constexpr int kColumnTypeSlots = 9;  // eight columns and the terminating 0
inline constexpr int kGateTableTypeEntries = 65536;
inline constexpr int kRtuEntries = 65536;
inline constexpr int kThreadBufferBytes = 8300;
inline constexpr int kRequestBufferBytes = 8200;
inline constexpr int kAddressTextBytes = 16;
inline constexpr int kPollQueueEntries = 10000;
inline constexpr int kCommandQueueEntries = 2000;
inline constexpr int kCommandElementBytes = 1000;
inline constexpr int kSetCallParams = 6;
inline constexpr int32_t kDefaultKeepAliveIdleS = 10;

enum RtuState : uint8_t {
    RtuActive = 0,
    RtuNotConfirmed = 1,
    RtuCommunicationFailed = 2,
    RtuDisabled = 3,
};

// True when `rtu` names an entry of rtu_state.
inline bool IsRtuNumber(int32_t rtu) {
    return rtu >= 0 && rtu < kRtuEntries;
}

struct PollQueueEntry {
    int32_t opcode;  // 257 or 261
    int32_t rtu;
    int32_t subaddress;
};

// Packed: 2000 entries of 1017 bytes rather than 1020 leave the context room to grow.
#pragma pack(push, 1)
struct CommandQueueEntry {
    int32_t rtu;
    int32_t subaddress;
    int32_t bit_width;
    int32_t single_value;  // bytes 0-3 of the value buffer, used when element_count is 1
    uint8_t element_count;
    uint8_t elements[kCommandElementBytes];
};
#pragma pack(pop)
static_assert(sizeof(CommandQueueEntry) == 17 + kCommandElementBytes);

using SocketSlot = std::atomic<int32_t>;  // 0: not open
using ByteFlag = std::atomic<uint8_t>;
using Counter = std::atomic<uint16_t>;

// At most this many threads wait in one turn queue at once.
inline constexpr uint32_t kTurnQueueWaiters = 64;

// A lock that serves its waiters in the order they came (context/turn_queue.h): each
// draws the next ticket and waits until it is served.
struct TurnQueue {
    std::atomic<uint32_t> next_ticket;
    std::atomic<uint32_t> serving;
    // A waiter that stopped waiting marks its ticket, which is then passed over.
    std::atomic<uint8_t> given_up[kTurnQueueWaiters];
};

// What names the reply to a request on the sync channel: its type (258, 259 or 1028),
// RTU and table (0 for 1028, whose reply carries none).
struct SyncReplyKey {
    uint16_t type;
    uint16_t rtu;
    uint8_t table;

    bool operator==(const SyncReplyKey&) const = default;
};

// Requests on the sync channel whose senders stopped waiting, at most this many.
inline constexpr int kLateReplyEntries = 128;

// A gateway's three channel sockets and the channel id the gateway gave them.
struct SocketSet {
    SocketSlot status;
    SocketSlot sync;
    SocketSlot burst;
    std::atomic<uint16_t> channel_id;

    static constexpr int kSlots = 3;
    // The three slots in the order status, sync, burst.
    std::array<SocketSlot*, kSlots> Slots() { return {&status, &sync, &burst}; }
};

// The gateway socket slots in the order of socket_users: primary status, sync, burst,
// then the secondary's.
inline constexpr int kGatewaySocketSlots = 2 * SocketSet::kSlots;
// The last local hour converted and its offset from UTC, so that time stamps within
// an hour whose every second lies at one offset need no calendar conversion.
struct LocalHourMemo {
    uint32_t hour_key;   // year, month, day and hour packed; 0: nothing remembered
    int32_t utc_offset;  // seconds local time runs ahead of UTC in that hour
};

// Fields shared between the host's thread, the burst thread and the command thread
// are atomics: byte flags taken by exchange, counters changed indivisibly, and
// single-byte states where the last write wins.
struct DriverContext {
    uint8_t column_types[kTableTypes][kColumnTypeSlots];
    uint8_t column_count[kTableTypes];
    std::atomic<uint8_t> gate_table_type[kGateTableTypeEntries];
    std::atomic<uint8_t> rtu_state[kRtuEntries];
    uint8_t burst_buffer[kThreadBufferBytes];
    uint8_t command_buffer[kThreadBufferBytes];
    uint8_t mode_message[kRequestBufferBytes];
    uint8_t secondary_configured;
    std::atomic<uint8_t> gateway_ok;  // bit 0 primary usable, bit 1 secondary usable
    int32_t poll_buffer_length;
    int32_t cmd_buffer_length;
    int32_t cmd_response_time;
    char primary_address[kAddressTextBytes];
    char secondary_address[kAddressTextBytes];
    // The active set: copies of the active gateway's slots and channel id. Threads take
    // its sockets only through a SocketLease (gateway/active_set.h).
    SocketSet active_sockets;
    SocketSet primary_sockets;
    SocketSet secondary_sockets;
    std::atomic<uint8_t> active_gateway;  // 1 primary, 2 secondary
    // Held only while a handle leaves the slots or the active set is copied.
    ByteFlag slot_change_lock;
    // The sync channel, one exchange at a time, in the order they asked for it.
    TurnQueue command_busy;
    // One exchange at a time on gateway 1's and gateway 2's status channel
    // (gateway/channel_exchange.h).
    ByteFlag status_channel_busy[2];
    ByteFlag command_queue_lock;
    ByteFlag poll_queue_lock;
    ByteFlag gateway_change_running;  // 1 while a reconnect or a switch-over runs
    ByteFlag error_gate_lock;         // serializes SetErrorGate's look-up, comparison and store
    Counter polls_in_flight;
    Counter poll_queue_count;
    Counter commands_in_flight;
    Counter command_queue_count;
    // Of commands_in_flight: writes whose sender stopped waiting, each holding its slot
    // for a late reply. Rises only in the sync channel's turn.
    Counter commands_awaiting_reply;
    // The requests whose replies come late, oldest first: writes and clock writes whose
    // senders stopped waiting (context/late_replies.h). Changed in the sync channel's turn.
    uint16_t late_reply_count;
    SyncReplyKey late_replies[kLateReplyEntries];
    // The queues are rings: the index of the oldest entry, changed under the queue's lock.
    uint16_t poll_queue_head;
    uint16_t command_queue_head;
    PollQueueEntry poll_queue[kPollQueueEntries];
    CommandQueueEntry command_queue[kCommandQueueEntries];
    uint8_t sign_rtu_on_fail;
    std::atomic<uint8_t> hot_backup_running;
    uint8_t client;
    std::atomic<uint16_t> last_error_code;
    std::atomic<int32_t> error_gate_id;  // -1: there is none
    std::atomic<uint8_t> connect_failure_logged;
    uint8_t parse_flag;
    uint8_t driver_number;
    std::atomic<int32_t> sync_reply_timeout;  // milliseconds
    int32_t start_flag;
    std::atomic<int32_t> setcall_params[kSetCallParams];
    std::atomic<int32_t> primary_mode_value;
    std::atomic<int32_t> secondary_mode_value;
    int32_t poll_result_on_write;
    // How many threads hold a lease on the socket of each gateway slot
    // (gateway/socket_slot.h).
    std::atomic<uint8_t> socket_users[kGatewaySocketSlots];
    // kThreadsMark plus the number of the instance's threads still running
    // (driver/instance_threads.h); ResetContext leaves it alone.
    std::atomic<uint16_t> instance_threads;
    // 1 when start-up failed after the burst thread began: it leaves as when the host
    // ends the client.
    std::atomic<uint8_t> start_abandoned;
    // kStartMark once a start request has reset the context; the host's memory holds
    // anything before that.
    uint32_t start_mark;
    LocalHourMemo local_hour;  // the burst thread's time stamp conversions
    // Idle seconds before a gateway channel is probed; 0: not probed.
    int32_t keepalive_idle_s;
};

static_assert(sizeof(DriverContext) <= kContextSize,
              "the host allocates exactly the size that the driver information reports");
static_assert(std::atomic<uint8_t>::is_always_lock_free &&
              std::atomic<uint16_t>::is_always_lock_free &&
              std::atomic<int32_t>::is_always_lock_free);

// The active, primary and secondary socket sets.
inline std::array<SocketSet*, 3> SocketSets(DriverContext& context) {
    return {&context.active_sockets, &context.primary_sockets, &context.secondary_sockets};
}

inline constexpr uint32_t kStartMark = 0x4B47574Bu;

// True when a start request has reset the context: its locks, sockets and counts hold
// values of the driver's own.
inline bool ContextStarted(const DriverContext* context) {
    return context != nullptr && context->start_mark == kStartMark;
}

// No ticket drawn, none served.
void ResetTurnQueue(TurnQueue& queue);

// Puts every field to its default and writes the start mark. Leaves the three buffers, the queues'
// entries, the gateway addresses, client, sync_reply_timeout, start_flag and instance_threads
// alone.
void ResetContext(uint8_t driver_number, DriverContext& context);

}  // namespace krogw
