// The bytes of one received message that a decoder may read: from the start of the
// buffer up to the message's own total_length, and never past the bytes received.
#pragma once

#include <cstddef>
#include <cstdint>

namespace krogw {

struct MessageView {
    const uint8_t* bytes;
    size_t end;  // 0 when not even a header lies inside

    // True when bytes [position, position + count) lie inside the message.
    bool Holds(size_t position, size_t count) const {
        return position <= end && count <= end - position;
    }
};

MessageView ViewMessage(const uint8_t* buffer, size_t received);

// The message ran out inside its data: what lay whole before this byte was stored.
void LogDataCutShort(uint32_t type, int32_t rtu, size_t position);

}  // namespace krogw
