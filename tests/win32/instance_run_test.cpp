// Two driver instances run by a plain Windows host through krogw.dll against simulated
// gateways on loopback, started beside this program by instance_run.sh in the loopback
// block it was given (KROGW_TEST_NET = N): instance 1 on the pair 127.N.130.1 / .2,
// instance 2 on 127.N.130.3 / .4. The values
// checked are those of the scenario files pair_a.scn and pair_b.scn.
#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

#include "tests/win32/checks.h"
#include "tests/win32/driver_host.h"

namespace krogw::wintest {
namespace {

using namespace std::chrono_literals;

// What each pair's scenario serves: RTU 7, table 5 (polled and written) and table 6
// (sent in a burst report every 200 ms, never polled).
struct PairValues {
    int primary;  // hosts 127.N.130.x
    int secondary;
    double row0;
    double row2_column1;
    double burst;
};
constexpr PairValues kPairA{1, 2, 1100, 1121, 1600};
constexpr PairValues kPairB{3, 4, 2100, 2121, 2600};

std::string PairAddress(int host) {
    const char* net = std::getenv("KROGW_TEST_NET");
    return std::string("127.") + (net != nullptr ? net : "0") + ".130." + std::to_string(host);
}

struct Gates {
    Gate row0;
    Gate row2_column1;
    Gate burst;
    Gate poll;
};

double ValueOf(const Gate& gate) {
    const auto value = hostsim::GateValueOf(gate.id);
    return value ? value->value : -1.0;
}

uint64_t UpdatesOf(const Gate& gate) {
    const auto value = hostsim::GateValueOf(gate.id);
    return value ? value->updates : 0;
}

bool WaitForValue(const Gate& gate, double value) {
    return WaitFor([&] { return ValueOf(gate) == value; }, 5s);
}

bool WaitForUpdates(const Gate& gate, uint64_t updates) {
    return WaitFor([&] { return UpdatesOf(gate) >= updates; }, 5s);
}

class InstanceRun {
  public:
    explicit InstanceRun(DriverHost& host) : host_(host) {}

    // Starts an instance on a pair of gateways and defines its gates.
    Gates StartOn(const Instance& instance, const PairValues& pair) {
        WriteConfiguration(instance.driver_number,
                           "PRIMARY=" + PairAddress(pair.primary) + "\nSECONDARY=" +
                               PairAddress(pair.secondary) + "\n1=3,3,0\nRTU_INITIAL_STATE=ON\n");
        Check(instance, Start(instance, 1) == kResultDone, "start with flag 1 answers 0");
        Check(instance, ClientOf(instance.driver_number).has_value(),
              "the instance's client is registered");
        Check(instance, Start(instance, 1) == kResultNotDone,
              "a second start while running answers 1");
        Gates gates{host_.DefineGate(instance, "00007005010000"),
                    host_.DefineGate(instance, "00007005010021"),
                    host_.DefineGate(instance, "00007006010000"),
                    host_.DefineGate(instance, "P000070050100004")};
        Check(instance,
              gates.row0.id != 0 && gates.row2_column1.id != 0 && gates.burst.id != 0 &&
                  gates.poll.id != 0,
              "address checks accept the element and poll gates");
        Check(instance, host_.DefineGate(instance, "00007005010000").id == 0,
              "an address already defined is refused");
        Check(instance, host_.DefineGate(instance, "00007005020000").id == 0,
              "an undeclared table type is refused");
        return gates;
    }

    bool Poll(const Instance& instance, const Gates& gates) const {
        uint8_t value[4] = {};
        return GateIo(instance, kReadGate, gates.poll, value) == kResultDone;
    }

    void PollsAndBursts(const Instance& instance, const Gates& gates, const PairValues& pair) {
        Check(instance, Poll(instance, gates), "a poll gate read answers 0");
        Check(instance,
              WaitForValue(gates.row0, pair.row0) &&
                  WaitForValue(gates.row2_column1, pair.row2_column1),
              "the poll's rows reach their gates");
        uint8_t value[4] = {};
        uint32_t raw = 0;
        const bool read = GateIo(instance, kReadGate, gates.row2_column1, value) == kResultDone;
        std::memcpy(&raw, value, sizeof raw);
        Check(instance, read && raw == pair.row2_column1,
              "a table gate read gives the value the host holds");
        Check(instance, WaitForValue(gates.burst, pair.burst) && WaitForUpdates(gates.burst, 2),
              "burst reports reach the gate of a table never polled");
    }

    void WriteReachesTheRtu(const Instance& instance, const Gates& gates) {
        Check(instance, Write32(instance, gates.row2_column1, 0x12345) == kResultDone,
              "a table gate write answers 0");
        Check(instance, Poll(instance, gates) && WaitForValue(gates.row2_column1, 0x12345),
              "a poll reads the written value back from the RTU's table");
    }

    // A disabled RTU is never contacted: the write made meanwhile never reaches it.
    void DisableAndEnableTheRtu(const Instance& instance, const Gates& gates,
                                const PairValues& pair) {
        Check(instance, WriteWord(instance, "!00007", 0) == kResultDone, "disabling answers 0");
        Check(instance, ReadWord(instance, "!00007") == 3, "the RTU reads as disabled (3)");
        uint8_t value[4] = {};
        Check(instance, GateIo(instance, kReadGate, gates.row0, value) == kResultNotDone,
              "a table gate read of a disabled RTU answers 1");
        Check(instance, Write32(instance, gates.row0, 77) == kResultDone && Poll(instance, gates),
              "a write and a poll of a disabled RTU answer 0");

        Check(instance, WriteWord(instance, "!00007", 1) == kResultDone, "enabling answers 0");
        const uint64_t updates = UpdatesOf(gates.row0);
        Check(instance,
              Poll(instance, gates) && WaitForUpdates(gates.row0, updates + 1) &&
                  ValueOf(gates.row0) == pair.row0,
              "after enabling, a poll finds the value the disabled write did not change");
        Check(instance, ReadWord(instance, "!00007") == 1, "the poll's reply confirms the RTU (1)");
    }

    void StatusAndSwitchOver(const Instance& instance, const Gates& gates, const PairValues& pair) {
        Check(instance, (ReadWord(instance, "!1") & 5) == 1, "the primary's status: active");
        Check(instance, (ReadWord(instance, "!2") & 5) == 5, "the secondary's status: standby");
        Check(instance, ReadWord(instance, "!BACKUP") == 1, "the active gateway gate reads 1");

        Check(instance, WriteWord(instance, "!BACKUP", 0) == kResultDone,
              "the switch-over to the secondary answers 0");
        Check(instance, ReadWord(instance, "!BACKUP") == 2, "the active gateway gate reads 2");
        Check(instance, (ReadWord(instance, "!2") & 5) == 1 && (ReadWord(instance, "!1") & 5) == 5,
              "the secondary is active and the primary standby");
        // The write went to the primary only.
        Check(instance,
              Poll(instance, gates) && WaitForValue(gates.row2_column1, pair.row2_column1),
              "a poll after the switch-over reads the secondary's table");
        Check(instance, WaitForUpdates(gates.burst, UpdatesOf(gates.burst) + 2),
              "burst reports come from the secondary");
    }

    // Close releases the channels and leaves the client; the host then ends the clients
    // of both instances at once. Once both threads of an instance have left, a start is
    // no longer refused.
    void CloseAndEnd(const Instance& first, const Instance& second) {
        const Instance* instances[] = {&first, &second};
        std::optional<uint8_t> clients[2];
        for (size_t at = 0; at < 2; ++at) {
            const Instance& instance = *instances[at];
            Check(instance, Call(instance, kCloseInstance, nullptr) == kResultDone,
                  "close answers 0");
            clients[at] = ClientOf(instance.driver_number);
            if (Check(instance, clients[at].has_value(), "the client is still there after close")) {
                hostsim::EndClient(*clients[at]);
            }
        }
        for (size_t at = 0; at < 2; ++at) {
            const Instance& instance = *instances[at];
            const std::optional<uint8_t>& client = clients[at];
            Check(instance,
                  client && WaitFor([&] { return hostsim::ClientRemovals(*client) == 2; }, 5s),
                  "both threads let the ended client go");
            Check(instance, WaitFor([&] { return Start(instance, 0) == kResultDone; }, 10s),
                  "both threads have left");
        }
    }

  private:
    static bool Check(const Instance& instance, bool ok, const char* what) {
        return wintest::Check(ok,
                              "instance " + std::to_string(instance.driver_number) + ": " + what);
    }

    DriverHost& host_;
};

int Run() {
    DriverHost host;
    if (!Check(host.Load(), "krogw.dll loads and reports its context size")) {
        return Summary();
    }
    InstanceRun run(host);
    const Instance a = host.NewInstance(1);
    const Gates gates_a = run.StartOn(a, kPairA);
    run.PollsAndBursts(a, gates_a, kPairA);
    run.WriteReachesTheRtu(a, gates_a);
    run.DisableAndEnableTheRtu(a, gates_a, kPairA);
    run.StatusAndSwitchOver(a, gates_a, kPairA);

    // A second instance at once, on a pair of its own, with values of its own.
    const Instance b = host.NewInstance(2);
    const Gates gates_b = run.StartOn(b, kPairB);
    run.PollsAndBursts(b, gates_b, kPairB);
    Check(ClientOf(1) != ClientOf(2), "each instance has a client of its own");
    Check(ValueOf(gates_a.row2_column1) == kPairA.row2_column1 &&
              ValueOf(gates_a.burst) == kPairA.burst,
          "the first instance's gates keep their own values");

    run.CloseAndEnd(a, b);
    return Summary();
}

}  // namespace
}  // namespace krogw::wintest

int main() {
    return krogw::wintest::Run();
}
