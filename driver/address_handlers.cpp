// Function codes 3 and 4: the host asks whether an address text names a gate of this
// driver and, if it does, for the five words that the driver will recognise it by.
#include "address/address_check.h"
#include "address/address_templates.h"
#include "driver/handlers.h"

namespace krogw {
namespace {

// The most elements an array of table values may have: 250 values of 32 bits fill a
// write's 1000 bytes.
constexpr int32_t kMaxArrayElements = 250;
constexpr int32_t kChannelStatusValues = 5;

int32_t CheckAddress(HostRequest& request, AddressCheck& check) {
    auto& arguments = *static_cast<AddressCheckArguments*>(request.arguments);
    // Rejections are silent; only the duplicate test has something to tell.
    if (!NormalizeAddress(arguments.address_text, check.field) ||
        !MatchesAnyTemplate(check.field)) {
        return kResultNotDone;
    }
    GateAddress words{};
    const bool accepted = DecodeAddress(check, arguments, *request.context, words);
    arguments.address = words;
    return accepted ? kResultDone : kResultNotDone;
}

}  // namespace

int32_t ParseGateAddress(HostRequest& request) {
    AddressCheck check{};
    check.allow_duplicates = false;
    return CheckAddress(request, check);
}

// Arrays are table values or the five channel status values of an RTU. An array may
// cover an element that a single gate already uses, so the duplicate test is off.
int32_t CheckArrayAddress(HostRequest& request) {
    AddressCheck check{};
    check.allow_duplicates = true;
    if (CheckAddress(request, check) != kResultDone) {
        return kResultNotDone;
    }
    const auto& arguments = *static_cast<const AddressCheckArguments*>(request.arguments);
    const int32_t elements = arguments.element_count;
    switch (arguments.address.kind) {
        case RtuChannelStatus:
            return elements == kChannelStatusValues ? kResultDone : kResultNotDone;
        case TableElement:
            return elements >= 1 && elements <= kMaxArrayElements ? kResultDone : kResultNotDone;
        default:
            return kResultNotDone;
    }
}

}  // namespace krogw
