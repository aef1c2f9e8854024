// The special gates answered from the context alone.
#include "driver/special_gates.h"

#include "context/statistics.h"
#include "driver/gate_io.h"
#include "driver/rtu_state.h"
#include "host/qivpro.h"
#include "platform/platform.h"

namespace krogw {
namespace {

bool IsSetCallParameter(int32_t kind) {
    return kind >= SetCallRtu && kind <= SetCallSd;
}

uint16_t Sum(const Counter& in_flight, const Counter& queued) {
    return static_cast<uint16_t>(in_flight.load() + queued.load());
}

// A statistic's value as its gate carries it: the low 32 bits, and 0xFFFFFFFF for a
// time since an event that has not happened yet.
std::optional<uint64_t> StatisticValue(const DriverContext& context, const GateAddress& address) {
    const InstanceStatistics* statistics = StatisticsOf(context);
    const auto id = static_cast<Statistic>(address.subaddress);
    const int64_t now = PlatformMonotonicMs();
    if (address.kind == GatewayStatistic) {
        const int gateway = address.unit_id == SecondaryGatewayUnit ? 1 : 0;
        return GatewayStatisticValue(statistics->gateways[gateway], id, now);
    }
    const RtuStatistics* rtu = FindRtuStatistics(*statistics, address.unit_id);
    if (rtu == nullptr) {
        return id == StatAge ? std::nullopt : std::optional<uint64_t>(0);
    }
    return RtuStatisticValue(*rtu, id, now);
}

// The words are the host's: a statistic outside the table or of the wrong scope is
// refused before it picks a field.
bool StatisticAddressSound(const GateAddress& address) {
    if (address.subaddress < 0 || address.subaddress >= kStatisticCount) {
        return false;
    }
    const StatisticScope scope = kStatistics[static_cast<size_t>(address.subaddress)].scope;
    if (address.kind == GatewayStatistic) {
        return scope == StatisticScope::Gateway && (address.unit_id == PrimaryGatewayUnit ||
                                                    address.unit_id == SecondaryGatewayUnit);
    }
    return scope == StatisticScope::Rtu;
}

int32_t ReadStatisticGate(const DriverContext& context, GateIoArguments& io) {
    if (StatisticsOf(context) == nullptr || !StatisticAddressSound(io.address)) {
        return kResultNotDone;
    }
    const std::optional<uint64_t> value = StatisticValue(context, io.address);
    const uint32_t word = value ? static_cast<uint32_t>(*value) : 0xFFFFFFFFu;
    for (int byte = 0; byte < 4; ++byte) {
        io.value_buffer[byte] = static_cast<uint8_t>(word >> (8 * byte));
    }
    return kResultDone;
}

}  // namespace

int32_t ReadDriverGate(const DriverContext& context, GateIoArguments& io) {
    const int32_t kind = io.address.kind;
    if (IsSetCallParameter(kind)) {
        PutValueWord(io, static_cast<uint16_t>(context.setcall_params[kind - SetCallRtu].load()));
        return kResultDone;
    }
    switch (kind) {
        case LastError:
            PutValueWord(io, context.last_error_code.load());
            return kResultDone;
        case PollLoad:
            PutValueWord(io, Sum(context.polls_in_flight, context.poll_queue_count));
            return kResultDone;
        case ActiveGateway:
            PutValueWord(io, context.active_gateway.load());
            return kResultDone;
        case CommandLoad:
            PutValueWord(io, Sum(context.commands_in_flight, context.command_queue_count));
            return kResultDone;
        case GatewayStatistic:
        case RtuStatistic:
            return ReadStatisticGate(context, io);
        default:
            return kResultNotDone;
    }
}

int32_t WriteSetCallParameter(DriverContext& context, const GateIoArguments& io) {
    context.setcall_params[io.address.kind - SetCallRtu].store(ValueWord(io));
    return kResultDone;
}

// 0 disables the RTU, 1 enables it again (not confirmed until it answers); any other
// value changes nothing.
int32_t WriteRtuStatus(DriverContext& context, const GateIoArguments& io) {
    const uint16_t value = ValueWord(io);
    if (value != 0 && value != 1) {
        return kResultDone;
    }
    if (!SetRtuState(context, io.address.subaddress, value == 0 ? RtuDisabled : RtuNotConfirmed)) {
        return kResultNotDone;
    }
    err(kLogTrace, value == 0 ? "KroGW : Write value is OK" : "KroGW : Write value is NOK");
    return kResultDone;
}

}  // namespace krogw
