// A gateway ("RTU NETWORK GateWay for TCP/IP") for tests and for people: a TCP server on
// one IPv4 address, port 5001 by default, that answers every request the driver sends,
// serves RTU tables from a model, sends burst reports, and misbehaves on request.
//
// Usage in a test:
//
//   gwsim::Gateway gw("127.0.50.1");                     // port 5001, no log
//   gw.DefineTableType(1, gwsim::ParseTableType("1,2,3,0"));
//   gw.DefineTable(/*rtu=*/7, /*table=*/5, /*table_type=*/1, /*rows=*/10);
//   gw.SetValue(7, 5, /*row=*/0, /*column=*/1, 1234);
//   gw.Start();
//   ... start the driver against 127.0.50.1 ...
//   auto poll = gw.WaitForRequest(krogw::kOpPoll, 2s);   // std::nullopt after 2 s
//   gw.faults().DropReply(krogw::kOpSendCommand, 1);      // the next write goes unanswered
//   gw.SendBurst({gwsim::BurstSection::Rows(7, 5, 0, 3)});
//   gw.Stop();                                            // also done by the destructor
//
// Behaviour:
// - Channels: every open-channel request gets a new channel id (0x0101, 0x0102, ...).
//   A connection opened with channel type 7 is a burst channel: poll replies go back on
//   it, burst reports go to every burst channel that is open.
// - Mode: set-mode 0 makes the gateway active, 1 standby; the status word's bits 0 and 2
//   follow (1 active, 5 standby), the other bits stay. The gateway starts active.
// - Polls (257, 261) are answered at once from the model; the row-list form (261) carries
//   only the rows changed since the RTU's table was last sent in that form (all rows at
//   first), each after its row number, and ends with 255. An offline or unknown RTU
//   answers 129; an unknown table or rows outside it answer 3.
// - Writes (258, 259) are decoded by the column's element type and stored; set-RTU-time
//   (1028) is stored as the RTU's clock; SetCall (513) is recorded. Malformed requests
//   answer 2. Replies go back on the connection of the request.
// - Every message the gateway sends carries status 1 unless a fault says otherwise.
// - Every whole message received is recorded, in order, before it is answered; the
//   record keeps the latest Options::recorded_requests and counts all of them.
// - A connection whose client stops reading is dropped once Options::max_queued_bytes
//   wait for it (messages a delay fault holds back count too: keep delays short beside
//   frequent bursts).
// - A primary and a secondary gateway are two Gateway objects on two addresses, each with
//   its own channels, mode, status word and RTU tables (load the same scenario into both).
// All methods may be called from any thread; model setters throw std::invalid_argument
// for what is not defined. Waits end at their time-out.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "gateway/frame.h"
#include "tools/gwsim/faults.h"
#include "tools/gwsim/handlers.h"
#include "tools/gwsim/scenario.h"
#include "tools/gwsim/server.h"
#include "tools/gwsim/table_model.h"
#include "tools/gwsim/types.h"

namespace gwsim {

struct Options {
    std::string address = "127.0.0.1";
    uint16_t port = krogw::kGatewayPort;  // 0: any free port, see Gateway::port()
    LogSink log;  // a line for every connection, request, reply and fault; empty for silence
    // The latest requests kept for Requests() and WaitForRequest(); older ones fall out.
    size_t recorded_requests = 4096;
    // Replies and reports queued for one connection beyond this many bytes mean its
    // client has stopped reading: the connection is dropped.
    size_t max_queued_bytes = 1 << 20;
    // The lines for each connection accepted or closed and each message in or out; off,
    // the log keeps faults, failures and changes of state.
    bool log_traffic = true;
};

class Gateway {
  public:
    explicit Gateway(Options options);
    explicit Gateway(std::string address);
    ~Gateway();
    Gateway(const Gateway&) = delete;
    Gateway& operator=(const Gateway&) = delete;

    // Listens (throws std::runtime_error when the address cannot be bound) and starts the
    // burst schedule; does nothing while serving.
    void Start();
    // The stopped gateway, also a fault: it stops listening, so connects are refused, and
    // resets every open connection before it returns. The model, mode, status word and
    // records stay, and Start serves again.
    void Stop();
    bool serving() const;
    uint16_t port() const;

    // --- The RTU tables -------------------------------------------------------------
    void DefineTableType(uint8_t number, TableType type);
    // Defines the RTU (online) when needed; values start at 0, stamps at the current time.
    void DefineTable(uint16_t rtu, uint8_t table, uint8_t table_type, int rows);
    void DefineRtu(uint16_t rtu);
    // An offline RTU answers polls, writes and clock setting with 129 and sends no bursts.
    void SetRtuOnline(uint16_t rtu, bool online);
    void SetValue(uint16_t rtu, uint8_t table, int row, int column, uint32_t value);
    uint32_t Value(uint16_t rtu, uint8_t table, int row, int column) const;
    // The time stamp of a row of a time-stamped table; years 1970 to 2069.
    void SetTimeStamp(uint16_t rtu, uint8_t table, int row, const TimeStamp& stamp);
    TimeStamp GetTimeStamp(uint16_t rtu, uint8_t table, int row) const;
    void SetRtuChannelStatus(uint16_t rtu, const RtuChannelStatus& status);
    // The model, table types, status word and burst schedule of a scenario file.
    void LoadScenario(const Scenario& scenario);

    // --- What the driver did ----------------------------------------------------------
    GatewayMode mode() const;
    uint32_t StatusWord() const;
    void SetStatusWord(uint32_t word);
    std::vector<ChannelInfo> Channels() const;
    std::optional<RtuClock> ClockOf(uint16_t rtu) const;
    std::vector<SetCallRecord> SetCalls() const;

    // The latest requests (Options::recorded_requests of them at most), oldest first.
    std::vector<RecordedRequest> Requests() const;
    // Every request of the opcode received since start or ClearRequests, also those that
    // have fallen out of Requests().
    size_t CountRequests(uint32_t opcode) const;
    // Requests that have fallen out of Requests() since start or ClearRequests.
    uint64_t RequestsFallenOut() const;
    // The index-th request (from 0) with this opcode, once it has come; nullopt when it
    // has not come within the time-out, or at once when it came but has fallen out of
    // Requests() since.
    std::optional<RecordedRequest> WaitForRequest(uint32_t opcode,
                                                  std::chrono::milliseconds timeout,
                                                  size_t index = 0) const;
    // True once this many channels of the type are open.
    bool WaitForChannels(uint8_t type, size_t count, std::chrono::milliseconds timeout) const;
    // The latest messages sent (replies and reports, as many as requests are kept),
    // oldest first, faults applied; `received` is when each goes out, its delay included.
    // Dropped messages and those a reset replaced are not among them.
    std::vector<RecordedRequest> Sent() const;
    // Forgets the requests and the messages sent.
    void ClearRequests();

    // --- Burst reports --------------------------------------------------------------
    // Sends one report of the current values to every open burst channel; returns how
    // many channels it went to (0 also when no section's RTU is online).
    int SendBurst(const BurstReport& report);
    // Sends the report every period while the gateway is active; the first after one period.
    void ScheduleBurst(const BurstReport& report, std::chrono::milliseconds period);
    void ClearBurstSchedule();

    // --- Faults -----------------------------------------------------------------------
    Faults& faults() { return faults_; }
    // A message of an opcode the driver does not know, on every open burst channel.
    int SendUnknownMessage(uint32_t opcode);
    void CloseAllConnections();

  private:
    struct ScheduledReport {
        BurstReport report;
        std::chrono::milliseconds period;
        std::chrono::steady_clock::time_point next;
    };

    void OnMessage(int connection, std::vector<uint8_t> message);
    void OnClosed(int connection);
    // Applies the faults for the message's type and hands it to the connection.
    void Emit(int connection, std::vector<uint8_t> message);
    int SendToBurstChannels(const std::function<std::vector<uint8_t>(uint16_t channel_id)>& build);
    void ScheduleLoop();
    void Log(const std::string& line) const;
    // A line of the traffic category (Options::log_traffic).
    void LogTraffic(const std::string& line) const;

    Options options_;
    Faults faults_;
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    GatewayState state_;
    std::vector<ScheduledReport> schedule_;
    bool running_ = false;
    std::mutex lifecycle_;  // Start and Stop, one at a time
    std::thread scheduler_;
    std::unique_ptr<Server> server_;
};

}  // namespace gwsim
