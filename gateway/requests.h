// The requests of the channel and status exchanges, built in a caller's buffer.
// Each builder returns the message's length, or 0 when the buffer cannot hold it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace krogw {

// "QIV_<driver>_<serial>": at most 13 characters and the terminating zero.
inline constexpr size_t kInstanceNameBytes = 16;

// Channel types announced by the open-channel request.
inline constexpr uint8_t kStatusOrSyncChannelType = 0;
inline constexpr uint8_t kBurstChannelType = 7;

// Gateway modes carried by the set-mode request.
inline constexpr uint8_t kGatewayModePrimary = 0;
inline constexpr uint8_t kGatewayModeSecondary = 1;

// The name of an instance as the gateway knows it, from the driver number and the
// low 16 bits of the installation serial number. Returns its length.
size_t FormatInstanceName(uint8_t driver_number, int32_t serial, char (&name)[kInstanceNameBytes]);

size_t BuildOpenChannelRequest(uint8_t channel_type, const char* instance_name, uint8_t* buffer,
                               size_t capacity);
size_t BuildCloseChannelRequest(uint16_t channel_id, const char* instance_name, uint8_t* buffer,
                                size_t capacity);
size_t BuildSetModeRequest(uint16_t channel_id, uint8_t mode, uint8_t* buffer, size_t capacity);
size_t BuildGatewayStatusRequest(uint16_t channel_id, uint8_t* buffer, size_t capacity);
size_t BuildRtuChannelStatusRequest(uint16_t channel_id, uint16_t rtu, uint8_t* buffer,
                                    size_t capacity);

}  // namespace krogw
