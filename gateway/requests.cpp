#include "gateway/requests.h"

#include <cstdio>
#include <cstring>

#include "gateway/frame.h"

namespace krogw {
namespace {

constexpr size_t kSetModeBodyBytes = 1;
constexpr size_t kRtuChannelStatusBodyBytes = 16;

// Writes the frame of a request whose body is data_length bytes and zeroes the body;
// false when the buffer cannot hold the whole message.
bool StartRequest(uint32_t opcode, uint16_t channel_id, size_t data_length, uint8_t* buffer,
                  size_t capacity) {
    if (buffer == nullptr || capacity < kGwBodyOffset + data_length) {
        return false;
    }
    const GwFrame frame = GwRequestFrame(opcode, channel_id, static_cast<uint16_t>(data_length));
    WriteGwFrame(frame, buffer, capacity);
    std::memset(buffer + kGwBodyOffset, 0, data_length);
    return true;
}

}  // namespace

size_t FormatInstanceName(uint8_t driver_number, int32_t serial, char (&name)[kInstanceNameBytes]) {
    const int length = std::snprintf(name, sizeof name, "QIV_%d_%.2d", driver_number,
                                     static_cast<int>(serial & 0xFFFF));
    return length < 0 ? 0 : static_cast<size_t>(length);
}

size_t BuildOpenChannelRequest(uint8_t channel_type, const char* instance_name, uint8_t* buffer,
                               size_t capacity) {
    const size_t name_bytes = std::strlen(instance_name) + 1;
    const size_t data_length = 1 + name_bytes;
    if (!StartRequest(kOpOpenChannel, 0, data_length, buffer, capacity)) {
        return 0;
    }
    buffer[kGwBodyOffset] = channel_type;
    std::memcpy(buffer + kGwBodyOffset + 1, instance_name, name_bytes);
    return kGwBodyOffset + data_length;
}

size_t BuildCloseChannelRequest(uint16_t channel_id, const char* instance_name, uint8_t* buffer,
                                size_t capacity) {
    const size_t name_bytes = std::strlen(instance_name) + 1;
    const size_t data_length = 2 + name_bytes;
    if (!StartRequest(kOpCloseChannel, channel_id, data_length, buffer, capacity)) {
        return 0;
    }
    PutU16(buffer + kGwBodyOffset, channel_id);
    std::memcpy(buffer + kGwBodyOffset + 2, instance_name, name_bytes);
    return kGwBodyOffset + data_length;
}

size_t BuildSetModeRequest(uint16_t channel_id, uint8_t mode, uint8_t* buffer, size_t capacity) {
    if (!StartRequest(kOpSetMode, channel_id, kSetModeBodyBytes, buffer, capacity)) {
        return 0;
    }
    buffer[kGwBodyOffset] = mode;
    return kGwBodyOffset + kSetModeBodyBytes;
}

size_t BuildGatewayStatusRequest(uint16_t channel_id, uint8_t* buffer, size_t capacity) {
    return StartRequest(kOpGatewayStatus, channel_id, 0, buffer, capacity) ? kGwBodyOffset : 0;
}

size_t BuildRtuChannelStatusRequest(uint16_t channel_id, uint16_t rtu, uint8_t* buffer,
                                    size_t capacity) {
    if (!StartRequest(kOpRtuChannelStatus, channel_id, kRtuChannelStatusBodyBytes, buffer,
                      capacity)) {
        return 0;
    }
    PutU16(buffer + kGwBodyOffset, rtu);
    return kGwBodyOffset + kRtuChannelStatusBodyBytes;
}

}  // namespace krogw
