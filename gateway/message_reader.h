// Reading one gateway message off a stream that may hand it over in pieces, and
// getting back to a message boundary when a read fails inside a message. Written
// over any link that offers the three calls of ByteLink: the sockets' link is in
// socket_io.cpp, the fuzz target drives the same code with a scripted one.
#pragma once

#include <concepts>
#include <cstddef>
#include <cstdint>

#include "gateway/frame.h"
#include "platform/platform.h"

namespace krogw {

template <typename Link>
concept ByteLink = requires(Link& link, uint8_t* at, size_t count, int32_t ms) {
    // Bytes received, 0 at end of stream, kSocketWouldBlock or kSocketError.
    { link.Receive(at, count) } -> std::same_as<int>;
    // 1 readable, 0 after the time-out, -1 broken.
    { link.WaitReadable(ms) } -> std::same_as<int>;
    { link.NowMs() } -> std::same_as<int64_t>;
};

// Once a message has begun, how long each further piece of it may keep us waiting.
inline constexpr int32_t kPieceWaitMs = 50;
// Skipping the rest of a message waits for it by the message's deadline only.
inline constexpr int32_t kNoPieceWait = INT32_MAX;
// Draining a channel that is out of step stops after this much, however fast the
// peer sends; the next read refuses what follows and drains again.
inline constexpr size_t kDrainLimitBytes = 65536;

inline constexpr uint16_t kGwHeadMark = 1;

enum class ReadFault : uint8_t {
    None,         // the buffer holds one whole message
    HeaderShort,  // the header did not arrive whole
    BadHeadMark,  // head_mark is not 1: not the start of a message
    BadLength,    // total_length below a header
    TooLong,      // total_length beyond the buffer; the message was read off
    BodyShort,    // the body did not arrive whole
};

struct MessageRead {
    bool arrived;       // something came, or the link broke, within the wait
    ReadFault fault;    //
    bool ended;         // the peer closed the link or it broke: nothing more will come
    int failed_result;  // HeaderShort, BodyShort: the failing receive's, 0 or -1
    size_t missing;     // HeaderShort, BodyShort: bytes not received
    size_t total;       // total_length, once the header was read
    size_t drained;     // bytes drained from a link left out of step
};

namespace reader_detail {

struct Received {
    int failed_result;  // 0 end of stream, -1 time-out or broken link
    size_t missing;     // 0 when all arrived
    bool ended;         // end of stream or a broken link, not a time-out
};

// Receives exactly count bytes, each piece within piece_wait_ms of the one before
// and all by the deadline.
template <ByteLink Link>
Received ReceiveExactly(Link& link, uint8_t* at, size_t count, int64_t deadline,
                        int32_t piece_wait_ms) {
    size_t done = 0;
    int64_t piece_deadline = link.NowMs() + piece_wait_ms;
    while (done < count) {
        const int result = link.Receive(at + done, count - done);
        if (result > 0) {
            done += static_cast<size_t>(result);
            piece_deadline = link.NowMs() + piece_wait_ms;
            continue;
        }
        if (result != kSocketWouldBlock) {
            return {result == 0 ? 0 : -1, count - done, true};
        }
        const int64_t until = piece_deadline < deadline ? piece_deadline : deadline;
        const int64_t left = until - link.NowMs();
        if (left <= 0) {
            return {-1, count - done, false};
        }
        if (link.WaitReadable(static_cast<int32_t>(left)) < 0) {
            return {-1, count - done, true};
        }
    }
    return {0, 0, false};
}

// Discards what the link holds now, without waiting, up to kDrainLimitBytes.
template <ByteLink Link>
size_t DrainReadable(Link& link, uint8_t* scratch, size_t scratch_bytes) {
    size_t drained = 0;
    while (drained < kDrainLimitBytes) {
        const size_t room = kDrainLimitBytes - drained;
        const int result = link.Receive(scratch, scratch_bytes < room ? scratch_bytes : room);
        if (result <= 0) {
            break;
        }
        drained += static_cast<size_t>(result);
    }
    return drained;
}

inline bool HeaderIsSound(const uint8_t* header) {
    return GetU16(header) == kGwHeadMark && GetU16(header + kGwTotalLengthOffset) >= kGwHeaderBytes;
}

// A read failed with `have` bytes of a message in the buffer: take the rest of that
// message off the link by the deadline, so that the next read starts at the next
// message. When the rest does not come, or the header is not sound, the link is out
// of step and what it holds is drained. Returns the bytes drained.
template <ByteLink Link>
size_t SkipRestOfMessage(Link& link, uint8_t* buffer, size_t capacity, size_t have,
                         int64_t deadline) {
    if (have < kGwHeaderBytes) {
        if (ReceiveExactly(link, buffer + have, kGwHeaderBytes - have, deadline, kNoPieceWait)
                .missing != 0) {
            return DrainReadable(link, buffer, capacity);
        }
        have = kGwHeaderBytes;
    }
    if (!HeaderIsSound(buffer)) {
        return DrainReadable(link, buffer, capacity);
    }
    const size_t total = GetU16(buffer + kGwTotalLengthOffset);
    size_t rest = total > have ? total - have : 0;
    while (rest > 0) {
        const size_t piece = rest < capacity ? rest : capacity;
        if (ReceiveExactly(link, buffer, piece, deadline, kNoPieceWait).missing != 0) {
            return DrainReadable(link, buffer, capacity);
        }
        rest -= piece;
    }
    return 0;
}

}  // namespace reader_detail

// Waits until wait_until for a message to begin, then reads it whole into the buffer
// by message_until, each piece within kPieceWaitMs of the one before. A failed read
// leaves the link at the next message boundary, or drained when that cannot be found.
template <ByteLink Link>
MessageRead ReadGwMessage(Link& link, uint8_t* buffer, size_t capacity, int64_t wait_until,
                          int64_t message_until) {
    using namespace reader_detail;
    MessageRead read{false, ReadFault::None, false, 0, 0, 0, 0};
    const int64_t left = wait_until - link.NowMs();
    if (capacity < kGwHeaderBytes ||
        link.WaitReadable(static_cast<int32_t>(left < 0 ? 0 : left)) == 0) {
        return read;
    }
    read.arrived = true;
    const Received header =
        ReceiveExactly(link, buffer, kGwHeaderBytes, message_until, kPieceWaitMs);
    if (header.missing != 0) {
        read.fault = ReadFault::HeaderShort;
        read.ended = header.ended;
        read.failed_result = header.failed_result;
        read.missing = header.missing;
        read.drained = SkipRestOfMessage(link, buffer, capacity, kGwHeaderBytes - header.missing,
                                         message_until);
        return read;
    }
    read.total = GetU16(buffer + kGwTotalLengthOffset);
    if (GetU16(buffer) != kGwHeadMark || read.total < kGwHeaderBytes) {
        read.fault = GetU16(buffer) != kGwHeadMark ? ReadFault::BadHeadMark : ReadFault::BadLength;
        read.drained = DrainReadable(link, buffer, capacity);
        return read;
    }
    if (read.total > capacity) {
        read.fault = ReadFault::TooLong;
        read.drained = SkipRestOfMessage(link, buffer, capacity, kGwHeaderBytes, message_until);
        return read;
    }
    const Received body = ReceiveExactly(link, buffer + kGwHeaderBytes, read.total - kGwHeaderBytes,
                                         message_until, kPieceWaitMs);
    if (body.missing != 0) {
        read.fault = ReadFault::BodyShort;
        read.ended = body.ended;
        read.failed_result = body.failed_result;
        read.missing = body.missing;
        read.drained =
            SkipRestOfMessage(link, buffer, capacity, read.total - body.missing, message_until);
    }
    return read;
}

// Discards whatever the link holds already, without waiting.
template <ByteLink Link>
size_t DiscardReadable(Link& link, uint8_t* scratch, size_t scratch_bytes) {
    return reader_detail::DrainReadable(link, scratch, scratch_bytes);
}

}  // namespace krogw
