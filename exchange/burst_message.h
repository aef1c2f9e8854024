// What the burst thread does with one message it read from the burst channel: drop it
// on a standby host or with a bad delivery status, else dispatch it by type.
#pragma once

#include <cstddef>
#include <cstdint>

#include "context/context.h"

namespace krogw {

enum class BurstMessageOutcome {
    Taken,        // decoded, or ignored as the protocol says
    Dropped,      // standby host, bad status, or no command block
    UnknownType,  // one poll slot released and logged; the caller flushes the channel
};

// `backup_mode` is the thread's own value, kept between messages, that the host's
// backup mode query updates.
BurstMessageOutcome TakeBurstChannelMessage(DriverContext& context, const uint8_t* buffer,
                                            size_t received, int32_t& backup_mode);

}  // namespace krogw
