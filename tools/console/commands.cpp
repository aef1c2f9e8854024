#include "tools/console/commands.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <mutex>
#include <sstream>
#include <thread>
#include <utility>
#include <vector>

#include "tools/console/gate_text.h"
#include "tools/console/health.h"

namespace console {
namespace {

constexpr const char* kHelp =
    "commands: write GATE VALUE... | show GATE | why GATE | disable RTU [I] | enable RTU [I] | "
    "clock RTU [I] |"
    " setcall RTU QR QD QC SR SD [I] | switch [I] | reconnect 1|2 [I] | quit"
    "  (I: instance number, default the first)";

constexpr int32_t kMaxArrayValues = 250;

std::string ResultText(int32_t result) {
    switch (result) {
        case krogw::kResultDone:
            return "done";
        case krogw::kResultNotDone:
            return "refused (result 1)";
        default:
            return "failed (result " + std::to_string(result) + ")";
    }
}

// "'70000' is outside the gate's 16-bit range 0 to 65535", in engineering values.
std::string RangeText(const std::string& word, const GateState& gate, bool table, int32_t width) {
    const int64_t max_raw = (int64_t{1} << width) - 1;
    const double scale = table ? gate.definition->scale : 1.0;
    const double offset = table ? gate.definition->offset : 0.0;
    double low = offset;
    double high = static_cast<double>(max_raw) * scale + offset;
    if (high < low) {
        std::swap(low, high);
    }
    char range[80];
    std::snprintf(range, sizeof range, "%.10g to %.10g", low, high);
    return "'" + word + "' is outside the gate's " + std::to_string(width) + "-bit range " + range +
           "; nothing written";
}

bool ToLong(const std::string& text, long long min, long long max, long long& value) {
    try {
        size_t used = 0;
        value = std::stoll(text, &used, 10);  // RTU numbers are often written 00010
        return used == text.size() && value >= min && value <= max;
    } catch (const std::exception&) {
        return false;
    }
}

class Runner {
  public:
    Runner(const std::vector<std::string>& words, HostInstances& host)
        : words_(words), host_(host) {}

    // What happened, for the screen.
    std::string Run() {
        const std::string& verb = words_[0];
        if (verb == "quit") {
            quit_ = true;
            return "bye";
        }
        if (verb == "help") {
            return kHelp;
        }
        if (verb == "write") {
            return Write();
        }
        if (verb == "show") {
            return Show();
        }
        if (verb == "why") {
            return words_.size() == 2 ? WhyText(host_, words_[1]) : "usage: why GATE";
        }
        if (verb == "disable" || verb == "enable") {
            return RtuGate("!%.5d", 1, verb == "disable" ? 0 : 1);
        }
        if (verb == "clock") {
            return RtuGate("T%.5d", 1, 0);
        }
        if (verb == "setcall") {
            return SetCall();
        }
        if (verb == "switch") {
            return Special("!BACKUP", 1, 1);
        }
        if (verb == "reconnect") {
            return Reconnect();
        }
        return "unknown command '" + verb + "'; " + kHelp;
    }

    bool quit() const { return quit_; }
    std::optional<int32_t> write_result() const { return write_result_; }

  private:
    // The instance the command works on, kept from its scan until the command is done.
    InstanceState* Hold(InstanceState& instance) {
        hold_ = std::unique_lock(instance.busy);
        return &instance;
    }

    // The instance named by the optional word at `at`, the first one without it.
    InstanceState* InstanceAt(size_t at) {
        auto& instances = host_.instances();
        long long number = 0;
        if (words_.size() <= at) {
            return instances.empty() ? nullptr : Hold(instances.front());
        }
        if (words_.size() > at + 1 || !ToLong(words_[at], 1, 255, number)) {
            return nullptr;
        }
        for (InstanceState& instance : instances) {
            if (instance.definition->driver_number == number && instance.running) {
                return Hold(instance);
            }
        }
        return nullptr;
    }

    struct Written {
        bool done;
        std::string text;
    };

    // Checks the address through the driver and writes the value word to it.
    Written WriteWordTo(InstanceState& instance, const std::string& address, uint16_t word) {
        krogw::AddressCheckArguments check{address.c_str(), 0, 0, 0, {}};
        if (host_.Call(instance, krogw::kParseGateAddress, &check) != krogw::kResultDone) {
            return {false, address + " rejected by the driver"};
        }
        uint8_t value[4] = {0, 0, static_cast<uint8_t>(word), static_cast<uint8_t>(word >> 8)};
        const int32_t result = host_.GateIo(instance, krogw::kWriteGate, check.address, 0, value);
        return {result == krogw::kResultDone, address + " " + ResultText(result)};
    }

    std::string WriteWord(InstanceState& instance, const std::string& address, uint16_t word) {
        return WriteWordTo(instance, address, word).text;
    }

    std::string Special(const char* address, size_t instance_at, uint16_t word) {
        InstanceState* instance = InstanceAt(instance_at);
        if (instance == nullptr) {
            return "usage: " + words_[0] + " [INSTANCE] (a running instance)";
        }
        return WriteWord(*instance, address, word);
    }

    std::string RtuGate(const char* format, size_t rtu_at, uint16_t word) {
        long long rtu = 0;
        InstanceState* instance = InstanceAt(rtu_at + 1);
        if (words_.size() <= rtu_at || !ToLong(words_[rtu_at], 1, 65535, rtu) ||
            instance == nullptr) {
            return "usage: " + words_[0] + " RTU [INSTANCE]";
        }
        // A mistyped number would disable an RTU the project does not watch, unseen.
        if (words_[0] == "disable" &&
            std::none_of(instance->rtu_states.begin(), instance->rtu_states.end(),
                         [rtu](const auto& state) { return state.first == rtu; })) {
            return "no gate of instance " + std::to_string(instance->definition->driver_number) +
                   " names RTU " + std::to_string(rtu) + "; nothing written";
        }
        char address[16];
        std::snprintf(address, sizeof address, format, static_cast<int>(rtu));
        return WriteWord(*instance, address, word);
    }

    std::string SetCall() {
        static constexpr const char* kParameters[] = {"SETCALL.RTU", "SETCALL.QR", "SETCALL.QD",
                                                      "SETCALL.QC",  "SETCALL.SR", "SETCALL.SD"};
        InstanceState* instance = InstanceAt(7);
        if (words_.size() < 7 || instance == nullptr) {
            return "usage: setcall RTU QR QD QC SR SD [INSTANCE]";
        }
        for (size_t at = 0; at < 6; ++at) {
            long long value = 0;
            if (!ToLong(words_[at + 1], 0, 65535, value)) {
                return "setcall: '" + words_[at + 1] + "' is not 0 to 65535";
            }
            Written written = WriteWordTo(*instance, kParameters[at], static_cast<uint16_t>(value));
            if (!written.done) {
                return std::move(written.text);
            }
        }
        return WriteWord(*instance, "SETCALL.EXE", 1);
    }

    std::string Reconnect() {
        long long gateway = 0;
        InstanceState* instance = InstanceAt(2);
        if (words_.size() < 2 || !ToLong(words_[1], 1, 2, gateway) || instance == nullptr) {
            return "usage: reconnect 1|2 [INSTANCE]";
        }
        krogw::ReconnectArguments reconnect{gateway == 1 ? krogw::PrimaryGatewayUnit
                                                         : krogw::SecondaryGatewayUnit};
        return "reconnect gateway " + words_[1] + " " +
               ResultText(host_.Call(*instance, krogw::kReconnectGateway, &reconnect));
    }

    std::pair<InstanceState*, GateState*> GateNamed(const std::string& name) {
        for (InstanceState& instance : host_.instances()) {
            for (GateState& gate : instance.gates) {
                if (gate.definition->name == name) {
                    return {Hold(instance), &gate};
                }
            }
        }
        return {nullptr, nullptr};
    }

    std::string Write() {
        if (words_.size() < 3) {
            return "usage: write GATE VALUE...";
        }
        auto [instance, gate] = GateNamed(words_[1]);
        return gate == nullptr ? "write: no gate " + words_[1] : WriteGate(*instance, *gate);
    }

    // What the host holds for the gate now, with its count of values received: a value
    // equal to the one before shows only here.
    std::string Show() {
        if (words_.size() != 2) {
            return "usage: show GATE";
        }
        const GateState* gate = GateNamed(words_[1]).second;
        return gate == nullptr ? "show: no gate " + words_[1]
                               : GateText(*gate) + UpdatesText(*gate);
    }

    // Table values go as raw values, engineering values cooked backwards, at the
    // gate's width; special gates take the value word.
    std::string WriteGate(InstanceState& instance, GateState& gate) {
        const size_t count = words_.size() - 2;
        const bool array = gate.definition->element_count > 0;
        const bool table = gate.address.kind == krogw::TableElement;
        if (count > static_cast<size_t>(array ? gate.definition->element_count : 1) ||
            count > kMaxArrayValues) {
            return "takes at most " + std::to_string(array ? gate.definition->element_count : 1) +
                   " values";
        }
        // The driver takes a single element as one four-byte value, array gate or not.
        const bool packed = array && count > 1;
        const size_t bytes_per_value = packed ? static_cast<size_t>(gate.address.bit_width / 8) : 4;
        std::vector<uint8_t> buffer(std::max<size_t>(4, count * bytes_per_value), 0);
        // Values are unsigned at the gate's width, as the screen shows them; anything
        // wider would reach the RTU cut to its low bits.
        const int32_t width = table ? gate.address.bit_width : 16;
        const int64_t max_raw = (int64_t{1} << width) - 1;
        for (size_t at = 0; at < count; ++at) {
            double value = 0;
            try {
                value = std::stod(words_[at + 2]);
            } catch (const std::exception&) {
                return "'" + words_[at + 2] + "' is not a number";
            }
            const double raw_value =
                table ? (value - gate.definition->offset) / gate.definition->scale : value;
            if (!(raw_value > -0.5 && raw_value < static_cast<double>(max_raw) + 0.5)) {
                return RangeText(words_[at + 2], gate, table, width);
            }
            auto raw = static_cast<uint32_t>(std::llround(raw_value));
            if (!packed && ValueInHighWord(gate.address)) {
                raw <<= 16;
            }
            for (size_t byte = 0; byte < bytes_per_value; ++byte) {
                buffer[at * bytes_per_value + byte] = static_cast<uint8_t>(raw >> (8 * byte));
            }
        }
        const int32_t code = array ? krogw::kWriteGateArray : krogw::kWriteGate;
        write_result_ = host_.GateIo(instance, code, gate.address, gate.host_id, buffer.data(),
                                     array ? static_cast<int32_t>(count) : 1);
        return ResultText(*write_result_);
    }

    const std::vector<std::string>& words_;
    HostInstances& host_;
    std::optional<int32_t> write_result_;
    bool quit_ = false;
    std::unique_lock<std::mutex> hold_;
};

}  // namespace

void CommandInput::StartReading(bool quit_at_end) {
    std::thread([this, quit_at_end] {
        for (std::string line; std::getline(std::cin, line);) {
            std::lock_guard lock(mutex_);
            lines_.push_back(line);
            arrived_.notify_one();
        }
        if (quit_at_end) {
            std::lock_guard lock(mutex_);
            lines_.push_back("quit");
            arrived_.notify_one();
        }
    }).detach();
}

std::optional<std::string> CommandInput::Next(Clock::time_point deadline) {
    std::unique_lock lock(mutex_);
    if (!arrived_.wait_until(lock, deadline, [this] { return !lines_.empty(); })) {
        return std::nullopt;
    }
    std::string line = lines_.front();
    lines_.pop_front();
    return line;
}

CommandOutcome RunCommand(const std::string& line, HostInstances& host) {
    std::istringstream stream(line);
    std::vector<std::string> words;
    for (std::string word; stream >> word;) {
        words.push_back(word);
    }
    if (words.empty()) {
        return {};
    }
    Runner runner(words, host);
    CommandOutcome outcome;
    outcome.text = "command " + line + ": " + runner.Run();
    outcome.quit = runner.quit();
    outcome.write_result = runner.write_result();
    return outcome;
}

}  // namespace console
