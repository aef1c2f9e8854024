#include "context/statistics_text.h"

#include <charconv>
#include <cstring>

namespace krogw {
namespace {

constexpr const char* kNamespace = "krogw_";
constexpr size_t kLineBytes = 512;

// One line built in place, cut short rather than overrun.
class Line {
  public:
    void Add(const char* text) { Add(text, std::strlen(text)); }
    void Add(const char* text, size_t length) {
        const size_t room = sizeof text_ - used_;
        const size_t taken = length < room ? length : room;
        std::memcpy(text_ + used_, text, taken);
        used_ += taken;
    }
    void AddNumber(uint64_t value) {
        char digits[24];
        const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
        Add(digits, static_cast<size_t>(end - digits));
    }
    // value / divisor with as many decimals as the divisor has zeros.
    void AddScaled(uint64_t value, int32_t divisor) {
        AddNumber(value / static_cast<uint64_t>(divisor));
        if (divisor <= 1) {
            return;
        }
        Add(".");
        uint64_t rest = value % static_cast<uint64_t>(divisor);
        for (int32_t place = divisor / 10; place >= 1; place /= 10) {
            const char digit = static_cast<char>('0' + rest / static_cast<uint64_t>(place));
            Add(&digit, 1);
            rest %= static_cast<uint64_t>(place);
        }
    }
    // A label value: backslash, quote and line feed escaped.
    void AddLabelValue(const char* value) {
        for (const char* at = value; *at != '\0'; ++at) {
            switch (*at) {
                case '\\':
                    Add("\\\\");
                    break;
                case '"':
                    Add("\\\"");
                    break;
                case '\n':
                    Add("\\n");
                    break;
                default:
                    Add(at, 1);
            }
        }
    }
    bool Send(TextSink sink, void* target) {
        Add("\n");
        const bool taken = sink(target, text_, used_);
        used_ = 0;
        return taken;
    }

  private:
    char text_[kLineBytes];
    size_t used_ = 0;
};

bool Header(const StatisticDefinition& definition, TextSink sink, void* target) {
    Line line;
    line.Add("# HELP ");
    line.Add(kNamespace);
    line.Add(definition.metric);
    line.Add(" ");
    line.Add(definition.event);
    if (!line.Send(sink, target)) {
        return false;
    }
    line.Add("# TYPE ");
    line.Add(kNamespace);
    line.Add(definition.metric);
    line.Add(definition.type == StatisticType::Count ? " counter" : " gauge");
    return line.Send(sink, target);
}

void StartSample(Line& line, const StatisticDefinition& definition, const StatisticsFile& labels) {
    line.Add(kNamespace);
    line.Add(definition.metric);
    line.Add("{driver=\"");
    line.AddNumber(labels.driver_number);
    line.Add("\",");
}

bool Sample(Line& line, const StatisticDefinition& definition, std::optional<uint64_t> value,
            TextSink sink, void* target) {
    line.Add("} ");
    line.AddScaled(*value, definition.per_base_unit);
    return line.Send(sink, target);
}

bool ExposeGateways(const InstanceStatistics& statistics, const StatisticDefinition& definition,
                    const StatisticsFile& labels, int64_t now_ms, TextSink sink, void* target) {
    const int gateways = labels.secondary_configured != 0 ? 2 : 1;
    for (int gateway = 0; gateway < gateways; ++gateway) {
        const auto value =
            GatewayStatisticValue(statistics.gateways[gateway], definition.id, now_ms);
        if (!value) {
            continue;
        }
        Line line;
        StartSample(line, definition, labels);
        line.Add(gateway == 0 ? "gateway=\"primary\",address=\""
                              : "gateway=\"secondary\",address=\"");
        char address[kGatewayAddressBytes + 1] = {};
        std::memcpy(address, labels.gateway_addresses[gateway], kGatewayAddressBytes);
        line.AddLabelValue(address);
        line.Add("\"");
        if (!Sample(line, definition, value, sink, target)) {
            return false;
        }
    }
    return true;
}

bool ExposeRtus(const InstanceStatistics& statistics, const StatisticDefinition& definition,
                const StatisticsFile& labels, int64_t now_ms, TextSink sink, void* target) {
    for (const RtuStatistics& rtu : statistics.rtus) {
        const uint32_t number = rtu.rtu.load(std::memory_order_acquire);
        if (number == 0) {
            continue;
        }
        const auto value = RtuStatisticValue(rtu, definition.id, now_ms);
        if (!value) {
            continue;
        }
        Line line;
        StartSample(line, definition, labels);
        line.Add("rtu=\"");
        line.AddNumber(number);
        line.Add("\"");
        if (!Sample(line, definition, value, sink, target)) {
            return false;
        }
    }
    return true;
}

}  // namespace

bool ExposeStatistics(const InstanceStatistics& statistics, const StatisticsFile& labels,
                      int64_t now_ms, TextSink sink, void* target) {
    for (const StatisticDefinition& definition : kStatistics) {
        const bool exposed =
            Header(definition, sink, target) &&
            (definition.scope == StatisticScope::Gateway
                 ? ExposeGateways(statistics, definition, labels, now_ms, sink, target)
                 : ExposeRtus(statistics, definition, labels, now_ms, sink, target));
        if (!exposed) {
            return false;
        }
    }
    return true;
}

}  // namespace krogw
