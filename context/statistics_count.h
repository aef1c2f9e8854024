// The events that move the statistics, counted where they happen. Every function
// counts nothing, quietly, for an instance without statistics (one never started) or
// for a gateway, socket or RTU it cannot place.
#pragma once

#include <cstddef>
#include <cstdint>

#include "context/statistics.h"

namespace krogw {

struct DriverContext;

// The gateway's (1 or 2) three channels were opened: CONNECTS, and UP starts.
void NoteGatewayUp(const DriverContext& context, uint8_t gateway);
void NoteConnectFailed(const DriverContext& context, uint8_t gateway);
// Its open channels were lost: DROPS, once until they are opened again; UP ends.
void NoteGatewayLost(const DriverContext& context, uint8_t gateway);
// Its channels were closed on purpose (a reconnect, the instance's end): UP ends.
void NoteGatewayClosed(const DriverContext& context, uint8_t gateway);
void NoteSwitchedTo(const DriverContext& context, uint8_t gateway);

// The socket carries the gateway's channel (0 status, 1 sync, 2 burst) from now on,
// from its open-channel exchange on; forgotten when the socket is closed.
void NoteChannelSocket(const DriverContext& context, uint8_t gateway, int channel, int32_t socket);
void ForgetChannelSocket(const DriverContext& context, int32_t socket);

// Traffic, counted against the gateway whose channel the socket is.
void CountSent(const DriverContext& context, int32_t socket, size_t bytes);
void CountReceived(const DriverContext& context, int32_t socket, size_t bytes);
void CountBadMessage(const DriverContext& context, int32_t socket);
void CountTimeout(const DriverContext& context, int32_t socket);
void CountReplyTime(const DriverContext& context, int32_t socket, int64_t reply_ms);
// The socket's gateway ended or broke the channel, or a send on it failed.
void CountChannelLost(const DriverContext& context, int32_t socket);

void CountRtu(const DriverContext& context, int32_t rtu, Statistic id, uint64_t amount = 1);
// Values from the RTU were stored into the host's gates: VALUES, and AGE starts again.
void NoteValuesStored(const DriverContext& context, int32_t rtu, uint64_t values);

}  // namespace krogw
