#include "tools/check/check_report.h"

#include <cstdio>

#include "address/gate_kind_names.h"
#include "address/subaddress.h"
#include "config/table_layout.h"
#include "context/statistics.h"

namespace krogw_check {
namespace {

const char* ElementTypeName(uint8_t type) {
    switch (type) {
        case krogw::kElement8Bit:
            return "8-bit";
        case krogw::kElement16Bit:
            return "16-bit";
        case krogw::kElement32Bit:
            return "32-bit";
        case krogw::kElementTimeStamp:
            return "time-stamp";
        case krogw::kElementShortTimeStamp:
            return "short-time-stamp";
        default:
            return "?";
    }
}

std::string Format(const char* format, int a, int b = 0, int c = 0, int d = 0, int e = 0) {
    char text[160];
    std::snprintf(text, sizeof text, format, a, b, c, d, e);
    return text;
}

const char* StatisticName(int32_t statistic) {
    return statistic >= 0 && statistic < krogw::kStatisticCount
               ? krogw::kStatistics[static_cast<size_t>(statistic)].name
               : "?";
}

std::string DescribeSubaddress(const krogw::GateAddress& words, int table_type) {
    switch (words.kind) {
        case krogw::TableElement: {
            const krogw::TableElementPlace place = krogw::UnpackTableElement(words.subaddress);
            return Format("RTU %d, table %d, column %d, row %d, table type %d", words.unit_id,
                          place.table, place.column, place.row, table_type);
        }
        case krogw::PollRows:
        case krogw::PollNumberedRows: {
            const krogw::PollBlock block = krogw::UnpackPoll(words.subaddress);
            return Format("RTU %d, table %d, table type %d, first row %d, rows %d", words.unit_id,
                          block.table, block.table_type, block.first_row, block.rows);
        }
        case krogw::RtuStatus:
        case krogw::RtuTime:
            return Format("RTU %d", words.subaddress);
        case krogw::RtuChannelStatus:
            return Format("RTU %d, channel %d", words.unit_id, words.subaddress);
        case krogw::GatewayStatus:
            return words.unit_id == krogw::PrimaryGatewayUnit ? "primary gateway"
                                                              : "secondary gateway";
        case krogw::GatewayStatistic:
            return std::string(words.unit_id == krogw::PrimaryGatewayUnit ? "primary gateway, "
                                                                          : "secondary gateway, ") +
                   StatisticName(words.subaddress);
        case krogw::RtuStatistic:
            return Format("RTU %d, ", words.unit_id) + StatisticName(words.subaddress);
        default:
            return "";
    }
}

}  // namespace

std::string DescribeLayout(const krogw::DriverContext& context, int table_type) {
    const krogw::TableLayout layout = krogw::TableLayoutOf(context, table_type);
    std::string text = Format("table type %2d: %d columns:", table_type, layout.column_count);
    for (int column = 0; column < layout.column_count; ++column) {
        text += " ";
        text += ElementTypeName(layout.column_types[column]);
    }
    const uint8_t second = layout.column_types[1];
    if (second == krogw::kElementTimeStamp || second == krogw::kElementShortTimeStamp) {
        text += " (time-stamped)";
    }
    return text;
}

std::string DescribeWords(const krogw::GateAddress& words, int table_type) {
    char text[200];
    std::snprintf(text, sizeof text,
                  "%-16s unit_id=%d kind=%d subaddress=0x%08X fixed_word=%d bit_width=%d",
                  krogw::GateKindName(words.kind), words.unit_id, words.kind,
                  static_cast<unsigned>(words.subaddress), words.fixed_word, words.bit_width);
    std::string described = text;
    const std::string fields = DescribeSubaddress(words, table_type);
    if (!fields.empty()) {
        described += "  (" + fields + ")";
    }
    return described;
}

}  // namespace krogw_check
