#include "tools/gwsim/scenario.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string_view>
#include <utility>

#include "tools/gwsim/handlers.h"

namespace gwsim {
namespace {

using Tokens = std::vector<std::string>;

Tokens Split(const std::string& line) {
    std::istringstream words(line.substr(0, line.find('#')));
    Tokens tokens;
    for (std::string word; words >> word;) {
        tokens.push_back(word);
    }
    return tokens;
}

// Decimal, or hexadecimal after 0x.
uint32_t ParseNumber(std::string_view text, uint32_t min, uint32_t max, const std::string& what) {
    int base = 10;
    std::string_view digits = text;
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
        base = 16;
        digits.remove_prefix(2);
    }
    uint64_t value = 0;
    const auto [end, error] =
        std::from_chars(digits.data(), digits.data() + digits.size(), value, base);
    if (digits.empty() || error != std::errc{} || end != digits.data() + digits.size() ||
        value < min || value > max) {
        throw std::invalid_argument(what + " '" + std::string(text) + "' is not a number from " +
                                    std::to_string(min) + " to " + std::to_string(max));
    }
    return static_cast<uint32_t>(value);
}

// "3" or "0-3": first and last, inclusive.
std::pair<int, int> ParseRange(std::string_view text, const std::string& what) {
    const size_t dash = text.find('-');
    const auto first = static_cast<int>(ParseNumber(text.substr(0, dash), 0, 254, what));
    if (dash == std::string_view::npos) {
        return {first, first};
    }
    const auto last = static_cast<int>(ParseNumber(text.substr(dash + 1), 0, 254, what));
    if (last < first) {
        throw std::invalid_argument(what + " '" + std::string(text) + "' runs backwards");
    }
    return {first, last};
}

std::vector<uint32_t> ParseList(std::string_view text, size_t count, uint32_t max,
                                const std::string& what) {
    std::vector<uint32_t> values;
    while (true) {
        const size_t comma = text.find(',');
        values.push_back(ParseNumber(text.substr(0, comma), 0, max, what));
        if (comma == std::string_view::npos) {
            break;
        }
        text.remove_prefix(comma + 1);
    }
    if (values.size() != count) {
        throw std::invalid_argument(what + " needs " + std::to_string(count) + " values");
    }
    return values;
}

std::pair<std::string, std::string> KeyAndValue(const std::string& token) {
    const size_t equals = token.find('=');
    if (equals == std::string::npos || equals == 0 || equals + 1 == token.size()) {
        throw std::invalid_argument("'" + token + "' is not key=value");
    }
    return {token.substr(0, equals), token.substr(equals + 1)};
}

// The key=value tokens of a statement, each key at most once and only the known ones.
class KeyValues {
  public:
    KeyValues(const Tokens& tokens, const std::vector<std::string_view>& known) {
        for (size_t at = 1; at < tokens.size(); ++at) {
            auto [key, value] = KeyAndValue(tokens[at]);
            if (std::find(known.begin(), known.end(), key) == known.end()) {
                throw std::invalid_argument("unknown key '" + key + "' for " + tokens[0]);
            }
            if (!values_.emplace(key, std::move(value)).second) {
                throw std::invalid_argument("key '" + key + "' given twice");
            }
        }
        statement_ = tokens[0];
    }

    const std::string& Required(const std::string& key) const {
        const auto found = values_.find(key);
        if (found == values_.end()) {
            throw std::invalid_argument(statement_ + " needs " + key + "=");
        }
        return found->second;
    }

    bool Has(const std::string& key) const { return values_.count(key) != 0; }

  private:
    std::string statement_;
    std::map<std::string, std::string, std::less<>> values_;
};

uint16_t RtuNumber(const std::string& text) {
    return static_cast<uint16_t>(ParseNumber(text, 1, 65535, "RTU"));
}

uint8_t TableNumber(const std::string& text) {
    return static_cast<uint8_t>(ParseNumber(text, 0, 255, "table"));
}

TimeStamp ParseTime(const std::string& text) {
    TimeStamp stamp;
    int consumed = 0;
    const int fields =
        std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d%n", &stamp.year, &stamp.month,
                    &stamp.day, &stamp.hour, &stamp.minute, &stamp.second, &consumed);
    std::string_view rest = std::string_view(text).substr(static_cast<size_t>(consumed));
    if (fields == 6 && rest.size() > 1 && rest[0] == '.') {
        stamp.millisecond = static_cast<int>(ParseNumber(rest.substr(1), 0, 999, "millisecond"));
        rest = {};
    }
    if (fields != 6 || !rest.empty()) {
        throw std::invalid_argument("time '" + text + "' is not YYYY-MM-DDTHH:MM:SS[.mmm]");
    }
    return stamp;
}

// tabletype 12=1,2,3,0 (blanks around "=" allowed)
void ParseTableTypeLine(Scenario& scenario, const Tokens& tokens) {
    std::string definition;
    for (size_t at = 1; at < tokens.size(); ++at) {
        definition += tokens[at];
    }
    const size_t equals = definition.find('=');
    if (equals == std::string::npos) {
        throw std::invalid_argument("tabletype needs NUMBER=TYPES,0");
    }
    const auto number =
        static_cast<uint8_t>(ParseNumber(definition.substr(0, equals), 0, 99, "table type"));
    scenario.model.DefineTableType(number, ParseTableType(definition.substr(equals + 1)));
}

// rtu 3 [online|offline]
void ParseRtuLine(Scenario& scenario, const Tokens& tokens) {
    if (tokens.size() < 2 || tokens.size() > 3) {
        throw std::invalid_argument("rtu needs a number and optionally online or offline");
    }
    Rtu& rtu = scenario.model.DefineRtu(RtuNumber(tokens[1]));
    if (tokens.size() == 3) {
        if (tokens[2] != "online" && tokens[2] != "offline") {
            throw std::invalid_argument("'" + tokens[2] + "' is neither online nor offline");
        }
        rtu.online = tokens[2] == "online";
        rtu.channel_status.flag0 = rtu.online;
    }
}

void ParseTableLine(Scenario& scenario, const Tokens& tokens) {
    const KeyValues keys(tokens, {"rtu", "table", "type", "rows"});
    scenario.model.DefineTable(
        RtuNumber(keys.Required("rtu")), TableNumber(keys.Required("table")),
        static_cast<uint8_t>(ParseNumber(keys.Required("type"), 0, 99, "table type")),
        static_cast<int>(ParseNumber(keys.Required("rows"), 1, 255, "rows")));
}

void ParseSetLine(Scenario& scenario, const Tokens& tokens) {
    const KeyValues keys(tokens, {"rtu", "table", "row", "col", "value"});
    const uint16_t rtu = RtuNumber(keys.Required("rtu"));
    const uint8_t table = TableNumber(keys.Required("table"));
    const auto [first, last] = ParseRange(keys.Required("row"), "row");
    const auto column = static_cast<int>(ParseNumber(keys.Required("col"), 0, 7, "column"));
    const uint32_t value = ParseNumber(keys.Required("value"), 0, 0xFFFFFFFF, "value");
    for (int row = first; row <= last; ++row) {
        scenario.model.SetValue(rtu, table, row, column, value);
    }
}

void ParseStampLine(Scenario& scenario, const Tokens& tokens) {
    const KeyValues keys(tokens, {"rtu", "table", "row", "time"});
    const uint16_t rtu = RtuNumber(keys.Required("rtu"));
    const uint8_t table = TableNumber(keys.Required("table"));
    const auto [first, last] = ParseRange(keys.Required("row"), "row");
    const TimeStamp stamp = ParseTime(keys.Required("time"));
    for (int row = first; row <= last; ++row) {
        scenario.model.SetTimeStamp(rtu, table, row, stamp);
    }
}

void ParseStatusLine(Scenario& scenario, const Tokens& tokens) {
    const KeyValues keys(tokens, {"word"});
    scenario.status_word = ParseNumber(keys.Required("word"), 0, 0xFFFFFFFF, "status word");
}

void ParseChannelStatusLine(Scenario& scenario, const Tokens& tokens) {
    const KeyValues keys(tokens, {"rtu", "values", "flags"});
    Rtu& rtu = scenario.model.GetRtu(RtuNumber(keys.Required("rtu")));
    const std::vector<uint32_t> values = ParseList(keys.Required("values"), 3, 255, "values");
    for (size_t at = 0; at < values.size(); ++at) {
        rtu.channel_status.values[at] = static_cast<uint8_t>(values[at]);
    }
    if (keys.Has("flags")) {
        const std::vector<uint32_t> flags = ParseList(keys.Required("flags"), 2, 1, "flags");
        rtu.channel_status.flag0 = flags[0] == 1;
        rtu.channel_status.flag1 = flags[1] == 1;
    }
}

// burst every=MS rtu=R table=T rows=A-B [table=T rows=A-B ...] [rtu=R ...]
void ParseBurstLine(Scenario& scenario, const Tokens& tokens) {
    ScheduledBurst burst;
    int table = -1;  // none yet in the current section
    for (size_t at = 1; at < tokens.size(); ++at) {
        const auto [key, value] = KeyAndValue(tokens[at]);
        if (key == "every") {
            burst.period =
                std::chrono::milliseconds(ParseNumber(value, 10, 86400000, "burst period"));
        } else if (key == "rtu") {
            burst.report.push_back({RtuNumber(value), {}});
            table = -1;
        } else if (key == "table") {
            if (burst.report.empty()) {
                throw std::invalid_argument("burst table= comes before rtu=");
            }
            table = TableNumber(value);
        } else if (key == "rows") {
            if (table < 0) {
                throw std::invalid_argument("burst rows= comes before table=");
            }
            const auto [first, last] = ParseRange(value, "rows");
            for (int row = first; row <= last; ++row) {
                burst.report.back().rows.push_back(
                    {static_cast<uint8_t>(table), static_cast<uint8_t>(row)});
            }
        } else {
            throw std::invalid_argument("unknown key '" + key + "' for burst");
        }
    }
    if (burst.period.count() == 0) {
        throw std::invalid_argument("burst needs every=");
    }
    if (burst.report.empty()) {
        throw std::invalid_argument("burst needs rtu= table= rows=");
    }
    for (const BurstSection& section : burst.report) {
        if (section.rows.empty()) {
            throw std::invalid_argument("burst section of RTU " + std::to_string(section.rtu) +
                                        " has no rows");
        }
    }
    CheckBurstReport(scenario.model, burst.report);
    scenario.bursts.push_back(std::move(burst));
}

// stop at=MS for=MS [gateway=1|2]
void ParseStopLine(Scenario& scenario, const Tokens& tokens) {
    const KeyValues keys(tokens, {"at", "for", "gateway"});
    ScheduledStop stop;
    stop.at = std::chrono::milliseconds(ParseNumber(keys.Required("at"), 0, 86400000, "at"));
    stop.length = std::chrono::milliseconds(ParseNumber(keys.Required("for"), 1, 86400000, "for"));
    if (keys.Has("gateway")) {
        stop.gateway = static_cast<int>(ParseNumber(keys.Required("gateway"), 1, 2, "gateway"));
    }
    scenario.stops.push_back(stop);
}

// The message faults: fault KIND [type=OPCODE] [times=N] and the kind's own keys.
void ParseMessageFault(Scenario& scenario, const Tokens& tokens) {
    struct Kind {
        std::vector<std::string_view> keys;  // besides type and times
        std::function<void(Faults&, uint32_t type, const KeyValues&, int times)> set;
    };
    static const std::map<std::string, Kind, std::less<>> kKinds = {
        {"delay",
         {{"ms"},
          [](Faults& faults, uint32_t type, const KeyValues& keys, int times) {
              faults.DelayReply(
                  type, static_cast<int>(ParseNumber(keys.Required("ms"), 1, 600000, "ms")), times);
          }}},
        {"drop",
         {{},
          [](Faults& faults, uint32_t type, const KeyValues&, int times) {
              faults.DropReply(type, times);
          }}},
        {"reset",
         {{},
          [](Faults& faults, uint32_t type, const KeyValues&, int times) {
              faults.ResetInsteadOfReply(type, times);
          }}},
        {"result",
         {{"code"},
          [](Faults& faults, uint32_t type, const KeyValues& keys, int times) {
              faults.OverrideResult(type, ParseNumber(keys.Required("code"), 0, 0xFFFFFFFF, "code"),
                                    times);
          }}},
        {"status",
         {{"value"},
          [](Faults& faults, uint32_t type, const KeyValues& keys, int times) {
              faults.SetStatus(type, ParseNumber(keys.Required("value"), 0, 0xFFFFFFFF, "value"),
                               times);
          }}},
        {"split",
         {{"bytes", "pause"},
          [](Faults& faults, uint32_t type, const KeyValues& keys, int times) {
              faults.SplitMessage(
                  type, ParseNumber(keys.Required("bytes"), 1, 8400, "bytes"),
                  static_cast<int>(ParseNumber(keys.Required("pause"), 0, 600000, "pause")), times);
          }}},
        {"byte",
         {{"offset", "value"},
          [](Faults& faults, uint32_t type, const KeyValues& keys, int times) {
              faults.OverrideByte(
                  type, ParseNumber(keys.Required("offset"), 0, 8400, "offset"),
                  static_cast<uint8_t>(ParseNumber(keys.Required("value"), 0, 255, "value")),
                  times);
          }}},
    };
    const auto found = kKinds.find(tokens[1]);
    if (found == kKinds.end()) {
        throw std::invalid_argument("unknown fault '" + tokens[1] + "'");
    }
    const Kind& kind = found->second;
    Tokens rest = {"fault " + tokens[1]};
    rest.insert(rest.end(), tokens.begin() + 2, tokens.end());
    std::vector<std::string_view> known(kind.keys);
    known.insert(known.end(), {"type", "times"});
    const KeyValues keys(rest, known);
    const uint32_t type = keys.Has("type")
                              ? ParseNumber(keys.Required("type"), 0, 0xFFFFFFFF, "type")
                              : Faults::kAnyType;
    const int times =
        keys.Has("times")
            ? static_cast<int>(ParseNumber(keys.Required("times"), 1, 1000000, "times"))
            : Faults::kAlways;
    // Checked now, so that a bad value names its line; set on each gateway later.
    Faults checked;
    kind.set(checked, type, keys, times);
    scenario.faults.push_back(
        [set = kind.set, type, keys, times](Faults& faults) { set(faults, type, keys, times); });
}

// The timed faults: fault disconnect|unknown|refuse at=MS [...] [gateway=1|2]
void ParseTimedFault(Scenario& scenario, const Tokens& tokens) {
    const std::string& what = tokens[1];
    Tokens rest = {"fault " + what};
    rest.insert(rest.end(), tokens.begin() + 2, tokens.end());
    std::vector<std::string_view> known = {"at", "gateway"};
    if (what != "disconnect") {
        known.push_back(what == "unknown" ? "opcode" : "for");
    }
    const KeyValues keys(rest, known);
    ScheduledFault fault;
    fault.at = std::chrono::milliseconds(ParseNumber(keys.Required("at"), 0, 86400000, "at"));
    if (keys.Has("gateway")) {
        fault.gateway = static_cast<int>(ParseNumber(keys.Required("gateway"), 1, 2, "gateway"));
    }
    if (what == "unknown") {
        fault.what = ScheduledFault::What::kUnknownMessage;
        fault.opcode = ParseNumber(keys.Required("opcode"), 0, 0xFFFFFFFF, "opcode");
    } else if (what == "refuse") {
        fault.what = ScheduledFault::What::kRefuse;
        ScheduledFault accept = fault;
        accept.what = ScheduledFault::What::kAccept;
        accept.at +=
            std::chrono::milliseconds(ParseNumber(keys.Required("for"), 1, 86400000, "for"));
        scenario.timed.push_back(accept);
    }
    scenario.timed.push_back(fault);
    std::stable_sort(
        scenario.timed.begin(), scenario.timed.end(),
        [](const ScheduledFault& one, const ScheduledFault& other) { return one.at < other.at; });
}

void ParseFaultLine(Scenario& scenario, const Tokens& tokens) {
    if (tokens.size() < 2) {
        throw std::invalid_argument("fault needs a kind");
    }
    const std::string& kind = tokens[1];
    if (kind == "disconnect" || kind == "unknown" || kind == "refuse") {
        ParseTimedFault(scenario, tokens);
    } else if (kind == "slowaccept") {
        Tokens rest = {"fault slowaccept"};
        rest.insert(rest.end(), tokens.begin() + 2, tokens.end());
        const KeyValues keys(rest, {"ms"});
        const auto ms = static_cast<int>(ParseNumber(keys.Required("ms"), 1, 600000, "ms"));
        scenario.faults.push_back([ms](Faults& faults) { faults.SlowAccepts(ms); });
    } else {
        ParseMessageFault(scenario, tokens);
    }
}

void ParseStatement(Scenario& scenario, const Tokens& tokens) {
    using Parser = void (*)(Scenario&, const Tokens&);
    static const std::map<std::string, Parser, std::less<>> kStatements = {
        {"tabletype", ParseTableTypeLine},
        {"rtu", ParseRtuLine},
        {"table", ParseTableLine},
        {"set", ParseSetLine},
        {"stamp", ParseStampLine},
        {"status", ParseStatusLine},
        {"channelstatus", ParseChannelStatusLine},
        {"burst", ParseBurstLine},
        {"stop", ParseStopLine},
        {"fault", ParseFaultLine},
    };
    const auto found = kStatements.find(tokens[0]);
    if (found == kStatements.end()) {
        throw std::invalid_argument("unknown statement '" + tokens[0] + "'");
    }
    found->second(scenario, tokens);
}

}  // namespace

ScenarioError::ScenarioError(int line, const std::string& message)
    : std::runtime_error(line > 0 ? "line " + std::to_string(line) + ": " + message : message),
      line_(line) {}

Scenario ParseScenario(std::istream& in) {
    Scenario scenario;
    int number = 0;
    for (std::string line; std::getline(in, line);) {
        ++number;
        const Tokens tokens = Split(line);
        if (tokens.empty()) {
            continue;
        }
        try {
            ParseStatement(scenario, tokens);
        } catch (const std::invalid_argument& error) {
            throw ScenarioError(number, error.what());
        }
    }
    return scenario;
}

Scenario LoadScenarioFile(const std::string& path) {
    std::ifstream file(path);
    if (!file) {
        throw ScenarioError(0, "cannot read scenario file " + path);
    }
    return ParseScenario(file);
}

}  // namespace gwsim
