// Feeds arbitrary bytes, as a late reply on the sync channel, to the command reply
// reader, to the judges of late write and set-time replies, and to the command thread's
// whole handling of the message. Nothing may be read past the message, a field may be
// reported only when the message holds it, and a reply releases at most one slot.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <initializer_list>

#include "context/context.h"
#include "exchange/command_reply.h"
#include "exchange/sync_replies.h"
#include "fuzz/fuzz_support.h"
#include "gateway/frame.h"
#include "tools/hostsim/hostsim.h"

namespace {

void Require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

krogw::DriverContext& Context() {
    static krogw::DriverContext* context = [] {
        hostsim::SetLogFilter(1000);  // keep no message
        auto* made = new krogw::DriverContext;
        krogw::ResetContext(1, *made);
        hostsim::DefineGate(1, {krogw::DriverSpecialUnit, krogw::LastError, 0, 255, 16});
        return made;
    }();
    return *context;
}

// The command thread's handling: the RTU named by the message, if any, starts in a state
// taken from the input, with one write in flight.
void TakeAsTheCommandThread(const uint8_t* data, size_t size, const krogw::CommandReply& reply) {
    using namespace krogw;
    DriverContext& context = Context();
    const uint8_t before = size > 0 ? static_cast<uint8_t>(data[size - 1] % 4) : 0;
    if (reply.has_rtu) {
        context.rtu_state[reply.rtu] = before;
    }
    context.commands_in_flight = 1;
    size_t received = size;
    const uint8_t* message = fuzz::Receive(data, received);
    TakeSyncMessage(message, received, context);
    Require(context.commands_in_flight <= 1);
    if (reply.has_rtu) {
        const uint8_t after = context.rtu_state[reply.rtu];
        Require(after <= 3);
        Require(before != 3 || after == 3 || reply.type == kOpSetRtuTime);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace krogw;
    CommandReply reply{};
    const size_t message = GwMessageLength(data, size);
    Require(ReadCommandReply(data, size, &reply) == (message != 0));
    Require(!reply.has_command_block || message >= kGwBodyOffset);
    Require(!reply.has_rtu || message >= kGwBodyOffset + 2);
    Require(!reply.has_table || message >= kGwBodyOffset + 3);
    Require(reply.type <= 0x7FFFFFFF);

    for (const uint8_t state : {uint8_t{0}, uint8_t{1}, uint8_t{2}, uint8_t{3}}) {
        for (const uint8_t sign : {uint8_t{0}, uint8_t{1}}) {
            const LateReplyOutcome write = JudgeLateCommandReply(reply, state, sign);
            Require(!write.changes_state || (reply.has_rtu && state != 3 && write.new_state <= 2));
            Require(!write.tells_host || (sign == 1 && write.new_state == 2));
        }
    }
    const LateReplyOutcome clock = JudgeLateSetTimeReply(reply);
    Require(!clock.changes_state || reply.has_rtu);
    Require(!clock.tells_host);

    TakeAsTheCommandThread(data, size, reply);
    return 0;
}
