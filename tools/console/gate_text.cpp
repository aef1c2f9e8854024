#include "tools/console/gate_text.h"

#include <cstdio>

#include "tools/console/time_text.h"
#include "tools/hostsim/hostsim.h"

namespace console {
namespace {

std::string Number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.10g", value);
    return text;
}

std::string StampText(int32_t seconds, int32_t milliseconds) {
    if (seconds == 0 && milliseconds == 0) {
        return "";
    }
    return " stamp " + LocalTimeText(seconds, milliseconds);
}

std::string ResultText(const char* what, int32_t number) {
    std::string text = what;
    text += ' ';
    text += std::to_string(number);
    return text;
}

std::string TableValueText(const GateState& gate) {
    const auto value = hostsim::GateValueOf(gate.host_id);
    if (!value) {
        return "no value";
    }
    return "value " + Number(value->value) + StampText(value->seconds, value->milliseconds);
}

}  // namespace

std::string UpdatesText(const GateState& gate) {
    if (gate.address.kind != krogw::TableElement) {
        return "";
    }
    const auto value = hostsim::GateValueOf(gate.host_id);
    return value ? " updates " + std::to_string(value->updates) : "";
}

std::string GateText(const GateState& gate) {
    switch (gate.address.kind) {
        case krogw::TableElement:
            return TableValueText(gate);
        case krogw::PollRows:
        case krogw::PollNumberedRows:
            return gate.result < 0 ? std::string("not polled") : ResultText("poll", gate.result);
        case krogw::RtuTime:
        case krogw::SetCallExecute:
            return "write only";
        case krogw::GatewayStatistic:
        case krogw::RtuStatistic:
            if (gate.result != krogw::kResultDone) {
                return ResultText("read", gate.result);
            }
            return gate.raw == 0xFFFFFFFFu ? std::string("statistic never")
                                           : "statistic " + std::to_string(gate.raw);
        case krogw::RtuChannelStatus: {
            if (gate.result != krogw::kResultDone) {
                return ResultText("read", gate.result);
            }
            std::string text = "values";
            for (const uint16_t word : gate.words) {
                text += ' ';
                text += std::to_string(word);
            }
            return text;
        }
        default:
            return gate.result != krogw::kResultDone ? ResultText("read", gate.result)
                                                     : ResultText("word", gate.words[0]);
    }
}

bool HasValue(const GateState& gate) {
    switch (gate.address.kind) {
        case krogw::TableElement:
            return hostsim::GateValueOf(gate.host_id).has_value();
        case krogw::PollRows:
        case krogw::PollNumberedRows:
        case krogw::RtuTime:
        case krogw::SetCallExecute:
            return true;
        default:
            return gate.result == krogw::kResultDone;
    }
}

uint64_t ValuesReceived(const GateState& gate) {
    if (gate.address.kind != krogw::TableElement) {
        return 0;
    }
    const auto value = hostsim::GateValueOf(gate.host_id);
    return value ? value->updates : 0;
}

}  // namespace console
