// Handlers whose behaviour has not been built yet: each answers "not done" and
// changes nothing until it is.
#include "driver/handlers.h"

namespace krogw {

int32_t StartInstance(HostRequest& /*request*/) {
    return kResultNotDone;
}
int32_t ReadGate(HostRequest& /*request*/) {
    return kResultNotDone;
}
int32_t ReadGateArray(HostRequest& /*request*/) {
    return kResultNotDone;
}
int32_t WriteGate(HostRequest& /*request*/) {
    return kResultNotDone;
}
int32_t WriteGateArray(HostRequest& /*request*/) {
    return kResultNotDone;
}
int32_t CloseInstance(HostRequest& /*request*/) {
    return kResultNotDone;
}

}  // namespace krogw
