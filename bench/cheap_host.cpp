// A host runtime for measuring the decoders alone: the gate look-up is an array index
// by sub-address, cooking a multiplication, storing an array write, and the log drops
// everything unformatted.
#include "bench/cheap_host.h"

#include <cstring>

namespace bench {

CheapHost& Host() {
    static CheapHost host;
    return host;
}

}  // namespace bench

using bench::Host;

extern "C" {

uint16_t QivMkClient(const char* /*name*/, int32_t /*kind*/, int32_t /*flags*/, uint8_t* client) {
    *client = 1;
    return 0;
}
uint16_t QivRmClient(uint8_t /*client*/) {
    return 0;
}
uint16_t QivWaitMsg(uint8_t /*client*/, QivMessage* /*message*/, int32_t /*wait*/) {
    return 1;
}
uint16_t QivGetBackupMode(uint8_t /*client*/, int32_t* mode) {
    *mode = 0;
    return 0;
}
uint16_t QivGetGateIdByAddress(uint8_t /*client*/, int32_t /*driver_index*/, int32_t unit_id,
                               int32_t kind, int32_t subaddress, int32_t /*fixed_word*/,
                               int32_t* gate_id) {
    if (kind != 0) {
        *gate_id = bench::kErrorGateId;  // the !ERROR gate
        return 0;
    }
    if (unit_id != bench::kRtu) {
        return 1;
    }
    const int32_t id = Host().gate_of_subaddress[static_cast<uint32_t>(subaddress) & 0xFFFFF];
    *gate_id = id;
    return id == 0 ? 1 : 0;
}
uint16_t QivCook(uint8_t /*client*/, int32_t /*gate_id*/, uint32_t raw, double* value) {
    *value = static_cast<double>(raw) * (1.0 / 65536);
    return 0;
}
uint16_t QivPutGateVal(uint8_t /*client*/, int32_t gate_id, int32_t /*quality*/, double value,
                       int32_t seconds, int32_t milliseconds) {
    bench::GateSlot& slot = Host().gates[static_cast<uint32_t>(gate_id) & 0xFFFF];
    slot = bench::GateSlot{value, seconds, milliseconds};
    ++Host().stores;
    return 0;
}
uint16_t QivGetGateRawValue(uint8_t /*client*/, int32_t /*gate_id*/, uint32_t* raw,
                            int32_t /*flags*/) {
    *raw = 0;
    return 0;
}
uint16_t QivGetGateVal(uint8_t /*client*/, int32_t /*mode*/, int32_t /*gate_id*/, double* /*value*/,
                       int32_t* /*quality*/, int32_t* /*seconds*/) {
    return 1;
}
uint16_t QivSetPlcCommStatus(uint8_t /*client*/, int32_t /*driver_number*/, int32_t /*rtu*/,
                             int32_t /*status*/, int32_t /*flags*/) {
    return 0;
}
uint16_t QivGetPlugSerNum(uint8_t /*client*/, int32_t* plug, int32_t* serial) {
    *plug = 1;
    *serial = 1;
    return 0;
}
int err(int /*level*/, const char* /*format*/, ...) {
    return 0;
}

}  // extern "C"
