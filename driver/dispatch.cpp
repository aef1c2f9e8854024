#include <array>

#include "context/context.h"
#include "driver/handlers.h"
#include "host/qivpro.h"
#include "include/krogw/abi.h"

namespace krogw {
namespace {

// Slot = function code - 1. Codes 8, 9 and 16 have no handler.
constexpr std::array<Handler, kHandlerSlots> kHandlers = {
    StartInstance, ReconnectGateway, ParseGateAddress, CheckArrayAddress,
    ReadGate,      ReadGateArray,    WriteGate,        nullptr,
    nullptr,       WriteGateArray,   CloseInstance,    Unsupported,
    Unsupported,   GetDriverInfo,    SetReplyTimeout,  nullptr,
};

// Codes whose handler reads or fills an argument block; close and the unsupported codes
// read none.
bool ReadsArguments(int32_t code) {
    switch (code) {
        case kCloseInstance:
        case kUnsupported12:
        case kUnsupported13:
            return false;
        default:
            return true;
    }
}

}  // namespace
}  // namespace krogw

extern "C" KROGW_EXPORT int32_t KroMain(krogw::HostRequest* request) {
    if (request == nullptr) {
        return krogw::kResultNotDone;
    }
    const int32_t code = request->function_code;
    // A code without a handler is answered, never used as an index.
    if (code < 1 || code > krogw::kHandlerSlots) {
        return krogw::kResultNotDone;
    }
    // A request on memory that no start has reset would trust its locks and sockets.
    // Start resets it, and the reply time-out is one plain store that a host may make
    // before the start.
    const bool uses_no_context = code == krogw::kGetDriverInfo || code == krogw::kUnsupported12 ||
                                 code == krogw::kUnsupported13;
    const bool context_usable = code == krogw::kStartInstance || code == krogw::kSetReplyTimeout
                                    ? request->context != nullptr
                                    : krogw::ContextStarted(request->context);
    if (!uses_no_context && !context_usable) {
        err(kLogError, "KroGW : Request %d refused, the instance was never started",
            static_cast<int>(code));
        return krogw::kResultNotDone;
    }
    const krogw::Handler handler = krogw::kHandlers[static_cast<size_t>(code - 1)];
    if (handler == nullptr) {
        return krogw::kResultNotDone;
    }
    if (request->arguments == nullptr && krogw::ReadsArguments(code)) {
        err(kLogError, "KroGW : Request %d refused, no argument block", static_cast<int>(code));
        return krogw::kResultNotDone;
    }
    return handler(*request);
}
