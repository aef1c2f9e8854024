#include "exchange/element_store.h"

#include "config/table_layout.h"
#include "exchange/time_stamps.h"
#include "host/qivpro.h"
#include "include/krogw/abi.h"

namespace krogw {

bool FindElementGate(const DriverContext& context, int32_t rtu, int32_t subaddress,
                     int32_t& gate_id) {
    return QivGetGateIdByAddress(context.client, context.driver_number - 1, rtu, TableElement,
                                 subaddress, 255, &gate_id) == 0;
}

StoreOutcome StoreElement(DriverContext& context, int32_t rtu, int32_t subaddress, uint32_t raw,
                          const StampAt* stamp) {
    int32_t gate_id = 0;
    if (!FindElementGate(context, rtu, subaddress, gate_id)) {
        return StoreOutcome::NoGate;
    }
    double value = 0.0;
    if (QivCook(context.client, gate_id, raw, &value) != 0) {
        err(kLogError, "KroGW : Fail to cook gate id %d", gate_id);
        return StoreOutcome::NotCooked;
    }
    if (stamp == nullptr) {
        if (QivPutGateVal(context.client, gate_id, 2, value, 0, 0) != 0) {
            err(kLogError, "KroGW : Write gate id %x fail", static_cast<unsigned>(gate_id));
        }
    } else if (stamp->type == kElementTimeStamp) {
        PutFullTimeStamp(context, gate_id, value, stamp->bytes);
    } else {
        PutShortTimeStamp(context, gate_id, value, stamp->bytes);
    }
    return StoreOutcome::Stored;
}

}  // namespace krogw
