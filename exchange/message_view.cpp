#include "exchange/message_view.h"

#include "gateway/frame.h"
#include "host/qivpro.h"

namespace krogw {

MessageView ViewMessage(const uint8_t* buffer, size_t received) {
    return MessageView{buffer, GwMessageLength(buffer, received)};
}

void LogDataCutShort(uint32_t type, int32_t rtu, size_t position) {
    err(kLogError,
        "KroGW : Message type %X from Rtu %d ends inside its data at byte %d - rest dropped", type,
        rtu, static_cast<int>(position));
}

}  // namespace krogw
