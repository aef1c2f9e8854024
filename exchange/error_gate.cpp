#include "exchange/error_gate.h"

#include "context/flag_lock.h"
#include "host/qivpro.h"
#include "include/krogw/abi.h"

namespace krogw {

void SetErrorGate(DriverContext& context, uint32_t result_code) {
    const auto code = static_cast<uint16_t>(result_code);
    const FlagLock lock(context.error_gate_lock);
    if (context.error_gate_id == -1) {
        return;
    }
    int32_t gate_id = 0;
    if (QivGetGateIdByAddress(context.client, context.driver_number - 1, DriverSpecialUnit,
                              LastError, 0, 255, &gate_id) != 0) {
        err(kLogError, "KroGW : Can not find gate !ERROR");
        context.error_gate_id = -1;
        return;
    }
    context.error_gate_id = gate_id;
    if (code == context.last_error_code) {
        return;
    }
    QivPutGateVal(context.client, gate_id, 2, static_cast<double>(code), 0, 0);
    context.last_error_code = code;
}

}  // namespace krogw
