// Feeds arbitrary bytes, as a gateway might send them, to the frame parser and to
// every reply judge: nothing may be read past the input, and whatever a judge
// accepts must lie inside the message. Then reads the same input as a stream of
// messages and garbage, cut into pieces that arrive late or early: no read may hand
// over a message whose header is not sound, and a stream of sound messages whose
// pieces come in time is read back message for message.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <initializer_list>
#include <vector>

#include "context/context.h"
#include "gateway/frame.h"
#include "gateway/message_reader.h"
#include "gateway/replies.h"
#include "gateway/socket_io.h"
#include "tests/support/scripted_link.h"

namespace {

using krogw::kGwHeaderBytes;
using Bytes = std::vector<uint8_t>;

void Require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

void CheckJudges(const uint8_t* data, size_t size) {
    using namespace krogw;
    GwFrame frame{};
    Require(ReadGwFrame(data, size, &frame) == (size >= kGwBodyOffset));
    GwHeader header{};
    Require(ReadGwHeader(data, size, &header) == (size >= kGwHeaderBytes));

    const size_t message = GwMessageLength(data, size);
    Require(message == 0 || (message >= kGwHeaderBytes && message <= size));

    for (const uint8_t type : {uint8_t{0}, uint8_t{7}}) {
        const OpenChannelReply open = JudgeOpenChannelReply(data, size, type);
        Require(open.verdict != OpenChannelVerdict::Accepted || message >= 41);
        Require(open.verdict != OpenChannelVerdict::Refused || open.result_code != 0);
    }
    const ReplyJudgement close = JudgeCloseChannelReply(data, size);
    Require(close.verdict != ReplyVerdict::Refused || close.result_code != 0);
    const ReplyJudgement mode = JudgeSetModeReply(data, size);
    Require(mode.verdict != ReplyVerdict::Accepted ||
            (message >= 32 && GetU32(data + kGwOpcodeOffset) == (kGwReplyBit | kOpSetMode)));
    const GatewayStatusReply status = DecodeGatewayStatusReply(data, size);
    Require(status.judgement.verdict != ReplyVerdict::Accepted || message >= 40);
    const RtuChannelStatusReply rtu = DecodeRtuChannelStatusReply(data, size);
    if (rtu.judgement.verdict == ReplyVerdict::Accepted) {
        Require(message >= 60 && rtu.values[3] <= 1 && rtu.values[4] <= 1);
    }
}

struct Stream {
    Bytes bytes;
    std::vector<int64_t> arrival;
    std::vector<Bytes> messages;  // the sound messages, in order
    bool clean = true;            // only sound messages that fit, pieces in time
};

// A message with head_mark 1 and its own length in total_length; the rest from the
// input. Shorter than a header when the input ran out.
Bytes SoundMessage(FuzzedDataProvider& input) {
    const auto length = input.ConsumeIntegralInRange<size_t>(kGwHeaderBytes, 600);
    Bytes message = input.ConsumeBytes<uint8_t>(length);
    if (message.size() >= kGwHeaderBytes) {
        krogw::PutU16(message.data(), krogw::kGwHeadMark);
        krogw::PutU16(message.data() + krogw::kGwTotalLengthOffset,
                      static_cast<uint16_t>(message.size()));
    }
    return message;
}

Stream BuildStream(FuzzedDataProvider& input, size_t capacity) {
    constexpr size_t kStreamLimit = 20000;
    Stream stream;
    int64_t clock = 0;
    while (input.remaining_bytes() > 0 && stream.bytes.size() < kStreamLimit) {
        clock += input.ConsumeIntegralInRange<int64_t>(0, 200);
        Bytes piece;
        if (input.ConsumeBool()) {
            piece = SoundMessage(input);
            const bool sound = piece.size() >= kGwHeaderBytes && piece.size() <= capacity;
            stream.clean = stream.clean && sound;
            if (sound) {
                stream.messages.push_back(piece);
            }
        } else {
            piece = input.ConsumeBytes<uint8_t>(input.ConsumeIntegralInRange<size_t>(1, 64));
            stream.clean = false;
        }
        const auto cut = input.ConsumeIntegralInRange<size_t>(0, piece.size());
        const auto late_by = input.ConsumeIntegralInRange<int64_t>(0, 120);
        if (cut > 0 && cut < piece.size() && late_by >= krogw::kPieceWaitMs) {
            stream.clean = false;
        }
        for (size_t index = 0; index < piece.size(); ++index) {
            stream.bytes.push_back(piece[index]);
            stream.arrival.push_back(index < cut ? clock : clock + late_by);
        }
        clock += late_by;
    }
    return stream;
}

void CheckStream(const uint8_t* data, size_t size) {
    using namespace krogw;
    FuzzedDataProvider input(data, size);
    const size_t capacity = input.PickValueInArray<size_t>(
        {kRequestBufferBytes, kThreadBufferBytes, kGwHeaderBytes, kGwBodyOffset, 64, 300});
    const Stream stream = BuildStream(input, capacity);
    test::ScriptedLink link(stream.bytes, stream.arrival);
    Bytes buffer(capacity);  // exactly the capacity: a write past it is caught
    size_t next = 0;
    // Every read either takes a byte or moves the clock on by its wait.
    const int64_t last_arrival = stream.arrival.empty() ? 0 : stream.arrival.back();
    const size_t read_limit =
        stream.bytes.size() + static_cast<size_t>(last_arrival / kUnsolicitedWaitMs) + 2;
    size_t reads = 0;
    for (; reads < read_limit; ++reads) {
        const int64_t wait_until = link.NowMs() + kUnsolicitedWaitMs;
        const MessageRead read = ReadGwMessage(link, buffer.data(), capacity, wait_until,
                                               wait_until + kUnsolicitedMessageBoundMs);
        Require(!link.WaitedNegative());
        if (!read.arrived) {
            if (link.Exhausted()) {
                break;
            }
            continue;
        }
        if (read.fault != ReadFault::None) {
            Require(!stream.clean);
            continue;
        }
        Require(GetU16(buffer.data()) == kGwHeadMark);
        Require(read.total >= kGwHeaderBytes && read.total <= capacity);
        Require(GetU16(buffer.data() + kGwTotalLengthOffset) == read.total);
        if (stream.clean) {
            Require(next < stream.messages.size());
            const Bytes& sent = stream.messages[next++];
            Require(sent.size() == read.total &&
                    std::equal(sent.begin(), sent.end(), buffer.begin()));
        }
    }
    Require(reads < read_limit);
    Require(!stream.clean || next == stream.messages.size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CheckJudges(data, size);
    CheckStream(data, size);
    return 0;
}
