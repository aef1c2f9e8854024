#include "exchange/message_view.h"

#include <algorithm>

#include "gateway/frame.h"
#include "host/qivpro.h"

namespace krogw {

MessageView ViewMessage(const uint8_t* buffer, size_t received) {
    if (buffer == nullptr || received < kGwHeaderBytes) {
        return MessageView{buffer, 0};
    }
    const size_t total_length = GetU16(buffer + kGwTotalLengthOffset);
    if (total_length < kGwHeaderBytes) {
        return MessageView{buffer, 0};
    }
    return MessageView{buffer, std::min(total_length, received)};
}

void LogDataCutShort(uint32_t type, int32_t rtu, size_t position) {
    err(kLogError,
        "KroGW : Message type %X from Rtu %d ends inside its data at byte %d - rest dropped", type,
        rtu, static_cast<int>(position));
}

}  // namespace krogw
