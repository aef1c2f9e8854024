// Decoding of every address form but the numeric table element.
#include <cstring>

#include "address/address_check.h"
#include "address/subaddress.h"
#include "config/table_layout.h"
#include "context/decimal_text.h"
#include "context/statistics.h"

namespace krogw {
namespace {

constexpr int32_t kMaxChannel = 5;

struct SetCallSuffix {
    const char* text;
    GateKind kind;
};

// Searched in this order; a later find replaces an earlier one.
constexpr SetCallSuffix kSetCallSuffixes[] = {
    {"EXE", SetCallExecute}, {"RTU", SetCallRtu}, {"QR", SetCallQr}, {"QD", SetCallQd},
    {"QC", SetCallQc},       {"SR", SetCallSr},   {"SD", SetCallSd},
};

bool DecodeSetCall(const AddressField& field, GateAddress& words) {
    bool found = false;
    for (const SetCallSuffix& suffix : kSetCallSuffixes) {
        if (std::strstr(field.text, suffix.text) != nullptr) {
            words.kind = suffix.kind;
            found = true;
        }
    }
    return found;
}

// The statistic named from `first` to the first blank, with only blanks after it.
bool ReadStatisticName(const AddressField& field, size_t first, StatisticScope scope,
                       int32_t& statistic) {
    size_t end = first;
    while (end < kAddressFieldChars && field.text[end] != ' ') {
        ++end;
    }
    for (size_t position = end; position < kAddressFieldChars; ++position) {
        if (field.text[position] != ' ') {
            return false;
        }
    }
    const auto found = FindStatistic(scope, field.text + first, static_cast<int>(end - first));
    if (!found) {
        return false;
    }
    statistic = *found;
    return true;
}

// "!1.NAME" and "!2.NAME": a statistic of gateway 1 or 2.
bool DecodeGatewayStatistic(const AddressField& field, const DriverContext& context,
                            GateAddress& words) {
    words.kind = GatewayStatistic;
    words.unit_id = field.text[1] == '2' ? SecondaryGatewayUnit : PrimaryGatewayUnit;
    if (field.text[1] == '2' && context.secondary_configured == 0) {
        return false;
    }
    return ReadStatisticName(field, 3, StatisticScope::Gateway, words.subaddress);
}

// "!nnnnn.NAME": a statistic of an RTU, which from now on has its counts kept.
bool DecodeRtuStatistic(const AddressField& field, const DriverContext& context,
                        GateAddress& words) {
    words.kind = RtuStatistic;
    if (!ReadRtuNumber(field, 1, words.unit_id) ||
        !ReadStatisticName(field, 7, StatisticScope::Rtu, words.subaddress)) {
        return false;
    }
    if (InstanceStatistics* statistics = StatisticsOf(context)) {
        RtuStatisticsOf(*statistics, words.unit_id);
    }
    return true;
}

// "!": driver gates by the letter at position 1, gateway status when position 2 is
// blank, otherwise an RTU's state.
bool DecodeStatusGate(const AddressField& field, const DriverContext& context, GateAddress& words) {
    if (field.text[2] == '.') {
        return DecodeGatewayStatistic(field, context, words);
    }
    if (field.text[6] == '.') {
        return DecodeRtuStatistic(field, context, words);
    }
    struct DriverGate {
        char letter;
        GateKind kind;
    };
    constexpr DriverGate kDriverGates[] = {
        {'P', PollLoad}, {'C', CommandLoad}, {'E', LastError}, {'B', ActiveGateway}};
    for (const DriverGate& gate : kDriverGates) {
        if (field.text[1] == gate.letter) {
            words.kind = gate.kind;
            words.unit_id = DriverSpecialUnit;
            return true;
        }
    }
    if (field.text[2] == ' ') {
        words.kind = GatewayStatus;
        if (field.text[1] == '1') {
            words.unit_id = PrimaryGatewayUnit;
            return true;
        }
        words.unit_id = SecondaryGatewayUnit;
        return field.text[1] == '2' && context.secondary_configured != 0;
    }
    words.kind = RtuStatus;
    words.unit_id = RtuSpecialUnit;
    return ReadRtuNumber(field, 1, words.subaddress);
}

// "P" and "C": a block of rows of an RTU table, on a declared table type.
bool DecodePoll(const AddressField& field, const DriverContext& context, GateAddress& words) {
    words.kind = field.text[0] == 'C' ? PollNumberedRows : PollRows;
    if (!ReadRtuNumber(field, 1, words.unit_id)) {
        return false;
    }
    PollBlock block{};
    ReadFieldNumber(field, 6, 3, block.table);
    if (block.table > kMaxRtuTable) {
        return false;
    }
    ReadFieldNumber(field, 9, 2, block.table_type);
    if (block.table_type < 0 || block.table_type >= kTableTypes ||
        TableLayoutOf(context, block.table_type).column_count == 0) {
        return false;
    }
    ReadFieldNumber(field, 11, 3, block.first_row);
    if (block.first_row > kMaxRow) {
        return false;
    }
    ReadFieldNumber(field, 14, 2, block.rows);
    words.subaddress = PackPoll(block);
    return true;
}

// "S": one of the RTU's channel status values, read as an array of five.
bool DecodeChannelStatus(const AddressField& field, GateAddress& words) {
    words.kind = RtuChannelStatus;
    if (!ReadRtuNumber(field, 1, words.unit_id) || field.text[6] != 'C') {
        return false;
    }
    ReadFieldNumber(field, 7, 1, words.subaddress);  // a blank leaves channel 0
    words.bit_width = 16;
    return words.subaddress <= kMaxChannel;
}

// "T": the RTU whose clock a write sets.
bool DecodeRtuTime(const AddressField& field, GateAddress& words) {
    words.kind = RtuTime;
    words.unit_id = RtuSpecialUnit;
    return ReadRtuNumber(field, 1, words.subaddress);
}

}  // namespace

bool ReadFieldNumber(const AddressField& field, size_t first, size_t width, int32_t& value) {
    return ReadDecimal(field.text + first, width, value);
}

bool ReadRtuNumber(const AddressField& field, size_t first, int32_t& value) {
    ReadFieldNumber(field, first, 5, value);
    return value >= 1 && value <= kMaxRtu;
}

bool DecodeAddress(const AddressCheck& check, const AddressCheckArguments& arguments,
                   DriverContext& context, GateAddress& words) {
    words = GateAddress{0, TableElement, 0, kFixedWord, 32};
    const AddressField& field = check.field;
    if (std::strstr(field.text, "SETCALL") != nullptr) {
        return DecodeSetCall(field, words);
    }
    switch (field.text[0]) {
        case '!':
            return DecodeStatusGate(field, context, words);
        case 'P':
        case 'C':
            return DecodePoll(field, context, words);
        case 'S':
            return DecodeChannelStatus(field, words);
        case 'T':
            return DecodeRtuTime(field, words);
        default:
            return DecodeTableElement(check, arguments, context, words);
    }
}

}  // namespace krogw
