#include "driver/rtu_state.h"

#include "host/qivpro.h"
#include "include/krogw/abi.h"

namespace krogw {
namespace {

// True when `rtu` names an RTU; a number that names none is logged.
bool NamesRtu(int32_t rtu) {
    if (IsRtuNumber(rtu)) {
        return true;
    }
    err(kLogError, "KroGW : Illegal RTU number %d", rtu);
    return false;
}

}  // namespace

bool RtuStateOf(const DriverContext& context, int32_t rtu, uint8_t& state) {
    if (!NamesRtu(rtu)) {
        return false;
    }
    state = context.rtu_state[rtu].load();
    return true;
}

bool SetRtuState(DriverContext& context, int32_t rtu, RtuState state) {
    if (!NamesRtu(rtu)) {
        return false;
    }
    context.rtu_state[rtu].store(state);
    return true;
}

std::optional<int32_t> AnswerWithoutContact(const DriverContext& context, int32_t rtu) {
    uint8_t state = 0;
    if (!RtuStateOf(context, rtu, state)) {
        return kResultNotDone;
    }
    if (state == RtuDisabled) {
        return kResultDone;
    }
    return std::nullopt;
}

}  // namespace krogw
