// Gateway messages as a gateway or the driver writes them, for tests, fuzz targets
// and benchmarks alike: header and command block laid out by the frame codec.
#pragma once

#include <cstdint>
#include <vector>

#include "gateway/frame.h"

namespace krogw::test {

using Bytes = std::vector<uint8_t>;

// The frame fields a message may need beyond its opcode, result code and body.
struct GwFields {
    uint16_t channel_id = 0;
    uint16_t aux_word = 0;
    uint32_t status = 0;
    uint16_t tail_mark = 1;
};

// A message with the given opcode, result code and body; total_length and
// data_length filled in.
inline Bytes GwMessage(uint32_t opcode, uint32_t result_code, const Bytes& body = {},
                       const GwFields& fields = {}) {
    GwFrame frame = GwRequestFrame(opcode, fields.channel_id, static_cast<uint16_t>(body.size()));
    frame.header.status = fields.status;
    frame.header.tail_mark = fields.tail_mark;
    frame.command.result_code = result_code;
    frame.command.aux_word = fields.aux_word;
    Bytes message(kGwBodyOffset);
    WriteGwFrame(frame, message.data(), message.size());
    message.insert(message.end(), body.begin(), body.end());
    return message;
}

}  // namespace krogw::test
