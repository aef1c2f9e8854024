// Feeds arbitrary bytes, as a late reply on the sync channel, to the command reply
// reader and to the judges of late write and set-time replies. Nothing may be read
// past the input, and a field may be reported only when the message holds it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <initializer_list>

#include "exchange/command_reply.h"
#include "gateway/frame.h"

namespace {

void Require(bool condition) {
    if (!condition) {
        std::abort();
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
    return 0;
}
