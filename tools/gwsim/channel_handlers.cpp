// Opening and closing channels, the gateway's mode and status, and RTU channel status.
#include <algorithm>
#include <string>

#include "tools/gwsim/handlers.h"

namespace gwsim {
namespace {

constexpr uint32_t kStatusModeBits = 0x5;
constexpr uint32_t kStatusActive = 0x1;
constexpr uint32_t kStatusStandby = 0x5;

std::string InstanceName(const Request& request, size_t from) {
    std::string name;
    for (size_t at = from; at < request.bytes.size() && request.bytes[at] != 0; ++at) {
        name.push_back(static_cast<char>(request.bytes[at]));
    }
    return name;
}

}  // namespace

std::vector<uint8_t> HandleOpenChannel(GatewayState& state, const Request& request) {
    if (request.body_length() < 1) {
        return BuildReply(request, kResultBadRequest, EchoBody(request, 16));
    }
    const uint8_t type = request.bytes[krogw::kGwBodyOffset];
    const uint16_t id = state.next_channel_id++;
    if (state.next_channel_id == 0) {
        state.next_channel_id = 1;
    }
    state.channels.push_back(
        {id, type, InstanceName(request, krogw::kGwBodyOffset + 1), request.connection, true});
    state.connection_types[request.connection] = type;
    std::vector<uint8_t> body(16, 0);
    body[2] = type;                      // byte 38
    krogw::PutU16(body.data() + 3, id);  // bytes 39-40
    return BuildReply(request, kResultOk, body);
}

std::vector<uint8_t> HandleCloseChannel(GatewayState& state, const Request& request) {
    if (request.body_length() < 2) {
        return BuildReply(request, kResultBadRequest, EchoBody(request, 2));
    }
    const uint16_t id = krogw::GetU16(request.bytes.data() + krogw::kGwBodyOffset);
    uint32_t result = kResultBadAddress;
    for (ChannelInfo& channel : state.channels) {
        if (channel.id == id && channel.open) {
            channel.open = false;
            result = kResultOk;
        }
    }
    return BuildReply(request, result, EchoBody(request, 2));
}

std::vector<uint8_t> HandleSetMode(GatewayState& state, const Request& request) {
    const uint8_t mode = request.body_length() < 1 ? 0xFF : request.bytes[krogw::kGwBodyOffset];
    if (mode > 1) {
        return BuildReply(request, kResultBadRequest, EchoBody(request, 1));
    }
    state.mode = mode == 0 ? GatewayMode::kActive : GatewayMode::kStandby;
    state.status_word =
        (state.status_word & ~kStatusModeBits) | (mode == 0 ? kStatusActive : kStatusStandby);
    return BuildReply(request, kResultOk, EchoBody(request, 1));
}

std::vector<uint8_t> HandleGatewayStatus(const GatewayState& state, const Request& request) {
    std::vector<uint8_t> body(4);
    krogw::PutU32(body.data(), state.status_word);
    return BuildReply(request, kResultOk, body);
}

std::vector<uint8_t> HandleRtuChannelStatus(const GatewayState& state, const Request& request) {
    std::vector<uint8_t> body = EchoBody(request, 24);  // through byte 59
    std::fill(body.begin() + 2, body.end(), 0);
    if (request.body_length() < 2) {
        return BuildReply(request, kResultBadRequest, body);
    }
    const Rtu* rtu = state.model.FindRtu(krogw::GetU16(body.data()));
    if (rtu == nullptr) {
        return BuildReply(request, kResultRtuOffline, body);
    }
    const RtuChannelStatus& status = rtu->channel_status;
    std::copy(status.values.begin(), status.values.end(), body.begin() + 17);  // bytes 53-55
    body[23] = static_cast<uint8_t>((status.flag0 ? 1 : 0) | (status.flag1 ? 2 : 0));
    return BuildReply(request, kResultOk, body);
}

}  // namespace gwsim
