#include <algorithm>
#include <cstdio>
#include <utility>

#include "tools/gwsim/gwsim.h"

namespace gwsim {
namespace {

const char* OpcodeName(uint32_t type) {
    switch (type) {
        case krogw::kOpOpenChannel:
            return "open channel";
        case krogw::kOpCloseChannel:
            return "close channel";
        case krogw::kOpSetMode:
            return "set mode";
        case krogw::kOpGatewayStatus:
            return "gateway status";
        case krogw::kOpRtuChannelStatus:
            return "RTU channel status";
        case krogw::kOpPoll:
            return "poll";
        case krogw::kOpSendData:
            return "send data";
        case krogw::kOpSendCommand:
            return "send command";
        case krogw::kOpPollRowList:
            return "poll row-list";
        case krogw::kOpSetCall:
            return "SetCall";
        case krogw::kOpSetRtuTime:
            return "set RTU time";
        case krogw::kOpBurstReport:
            return "burst report";
        default:
            return "unknown";
    }
}

std::string Describe(const std::vector<uint8_t>& message) {
    krogw::GwFrame frame{};
    if (!krogw::ReadGwFrame(message.data(), message.size(), &frame)) {
        return std::to_string(message.size()) + " bytes without a command block";
    }
    const uint32_t type = krogw::GwMessageType(frame.command.opcode);
    char line[200];
    std::snprintf(
        line, sizeof line, "%s%s (0x%X) channel 0x%04X status 0x%X result %u aux %u, %zu bytes",
        OpcodeName(type), (frame.command.opcode & krogw::kGwReplyBit) != 0 ? " reply" : "",
        frame.command.opcode, frame.header.channel_id, frame.header.status,
        frame.command.result_code, frame.command.aux_word, message.size());
    return line;
}

std::string PlanNotes(const OutgoingPlan& plan) {
    std::string notes;
    if (plan.delay_ms > 0) {
        notes += " [delayed " + std::to_string(plan.delay_ms) + " ms]";
    }
    if (plan.piece_bytes > 0) {
        notes += " [in pieces of " + std::to_string(plan.piece_bytes) + " bytes, " +
                 std::to_string(plan.piece_pause_ms) + " ms apart]";
    }
    return notes;
}

}  // namespace

Gateway::Gateway(Options options) : options_(std::move(options)) {
    state_.log = options_.log;
    server_ = std::make_unique<Server>(
        options_.address, options_.port, faults_,
        [this](int connection, std::vector<uint8_t> message) {
            OnMessage(connection, std::move(message));
        },
        [this](int connection) { OnClosed(connection); }, options_.log);
}

Gateway::Gateway(std::string address)
    : Gateway(Options{std::move(address), krogw::kGatewayPort, {}}) {}

Gateway::~Gateway() {
    Stop();
}

void Gateway::Start() {
    server_->Start();
    const std::lock_guard lock(mutex_);
    running_ = true;
    scheduler_ = std::thread([this] { ScheduleLoop(); });
}

void Gateway::Stop() {
    {
        const std::lock_guard lock(mutex_);
        running_ = false;
    }
    changed_.notify_all();
    if (scheduler_.joinable()) {
        scheduler_.join();
    }
    server_->Stop();
}

uint16_t Gateway::port() const {
    return server_->port();
}

void Gateway::DefineTableType(uint8_t number, TableType type) {
    const std::lock_guard lock(mutex_);
    state_.model.DefineTableType(number, std::move(type));
}

void Gateway::DefineTable(uint16_t rtu, uint8_t table, uint8_t table_type, int rows) {
    const std::lock_guard lock(mutex_);
    state_.model.DefineTable(rtu, table, table_type, rows);
}

void Gateway::DefineRtu(uint16_t rtu) {
    const std::lock_guard lock(mutex_);
    state_.model.DefineRtu(rtu);
}

void Gateway::SetRtuOnline(uint16_t rtu, bool online) {
    const std::lock_guard lock(mutex_);
    Rtu& found = state_.model.GetRtu(rtu);
    found.online = online;
    found.channel_status.flag0 = online;
}

void Gateway::SetValue(uint16_t rtu, uint8_t table, int row, int column, uint32_t value) {
    const std::lock_guard lock(mutex_);
    state_.model.SetValue(rtu, table, row, column, value);
}

uint32_t Gateway::Value(uint16_t rtu, uint8_t table, int row, int column) const {
    const std::lock_guard lock(mutex_);
    return state_.model.Value(rtu, table, row, column);
}

void Gateway::SetTimeStamp(uint16_t rtu, uint8_t table, int row, const TimeStamp& stamp) {
    const std::lock_guard lock(mutex_);
    state_.model.SetTimeStamp(rtu, table, row, stamp);
}

TimeStamp Gateway::GetTimeStamp(uint16_t rtu, uint8_t table, int row) const {
    const std::lock_guard lock(mutex_);
    const RtuTable& found = state_.model.GetTable(rtu, table);
    if (!found.HasRow(row)) {
        throw std::invalid_argument("row " + std::to_string(row) + " is outside the table");
    }
    return found.stamps[static_cast<size_t>(row)];
}

void Gateway::SetRtuChannelStatus(uint16_t rtu, const RtuChannelStatus& status) {
    const std::lock_guard lock(mutex_);
    state_.model.GetRtu(rtu).channel_status = status;
}

void Gateway::LoadScenario(const Scenario& scenario) {
    {
        const std::lock_guard lock(mutex_);
        state_.model = scenario.model;
        if (scenario.status_word) {
            state_.status_word = *scenario.status_word;
        }
    }
    for (const ScheduledBurst& burst : scenario.bursts) {
        ScheduleBurst(burst.report, burst.period);
    }
}

GatewayMode Gateway::mode() const {
    const std::lock_guard lock(mutex_);
    return state_.mode;
}

uint32_t Gateway::StatusWord() const {
    const std::lock_guard lock(mutex_);
    return state_.status_word;
}

void Gateway::SetStatusWord(uint32_t word) {
    const std::lock_guard lock(mutex_);
    state_.status_word = word;
}

std::vector<ChannelInfo> Gateway::Channels() const {
    const std::lock_guard lock(mutex_);
    return state_.channels;
}

std::optional<RtuClock> Gateway::ClockOf(uint16_t rtu) const {
    const std::lock_guard lock(mutex_);
    return state_.model.GetRtu(rtu).clock;
}

std::vector<SetCallRecord> Gateway::SetCalls() const {
    const std::lock_guard lock(mutex_);
    return state_.setcalls;
}

std::vector<RecordedRequest> Gateway::Requests() const {
    const std::lock_guard lock(mutex_);
    return state_.requests;
}

size_t Gateway::CountRequests(uint32_t opcode) const {
    const std::lock_guard lock(mutex_);
    size_t count = 0;
    for (const RecordedRequest& request : state_.requests) {
        count += request.opcode == opcode ? 1 : 0;
    }
    return count;
}

std::optional<RecordedRequest> Gateway::WaitForRequest(uint32_t opcode,
                                                       std::chrono::milliseconds timeout,
                                                       size_t index) const {
    std::unique_lock lock(mutex_);
    std::optional<RecordedRequest> found;
    changed_.wait_for(lock, timeout, [&] {
        size_t seen = 0;
        for (const RecordedRequest& request : state_.requests) {
            if (request.opcode == opcode && seen++ == index) {
                found = request;
                return true;
            }
        }
        return false;
    });
    return found;
}

bool Gateway::WaitForChannels(uint8_t type, size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] {
        size_t open = 0;
        for (const ChannelInfo& channel : state_.channels) {
            open += channel.open && channel.type == type ? 1 : 0;
        }
        return open >= count;
    });
}

void Gateway::ClearRequests() {
    const std::lock_guard lock(mutex_);
    state_.requests.clear();
}

int Gateway::SendBurst(const BurstReport& report) {
    {
        const std::lock_guard lock(mutex_);
        CheckBurstReport(state_.model, report);
    }
    return SendToBurstChannels(
        [&](uint16_t channel_id) { return BuildBurstReport(state_.model, report, channel_id); });
}

void Gateway::ScheduleBurst(const BurstReport& report, std::chrono::milliseconds period) {
    if (period.count() <= 0) {
        throw std::invalid_argument("a burst period must be positive");
    }
    {
        const std::lock_guard lock(mutex_);
        CheckBurstReport(state_.model, report);
        schedule_.push_back({report, period, std::chrono::steady_clock::now() + period});
    }
    changed_.notify_all();
}

void Gateway::ClearBurstSchedule() {
    const std::lock_guard lock(mutex_);
    schedule_.clear();
}

int Gateway::SendUnknownMessage(uint32_t opcode) {
    return SendToBurstChannels(
        [opcode](uint16_t channel_id) { return BuildUnknownMessage(opcode, channel_id); });
}

void Gateway::CloseAllConnections() {
    server_->CloseAll();
}

void Gateway::OnMessage(int connection, std::vector<uint8_t> message) {
    krogw::GwFrame frame{};
    const bool framed = krogw::ReadGwFrame(message.data(), message.size(), &frame);
    std::optional<std::vector<uint8_t>> reply;
    {
        const std::lock_guard lock(mutex_);
        const auto type = state_.connection_types.find(connection);
        state_.requests.push_back(
            {connection, type == state_.connection_types.end() ? kNoChannelType : type->second,
             framed ? frame.command.opcode : 0, message, std::chrono::steady_clock::now()});
        Log("connection " + std::to_string(connection) + " <- " + Describe(message));
        if (framed) {
            reply = HandleRequest(state_, Request{connection, message, frame});
        }
    }
    changed_.notify_all();
    if (reply) {
        Emit(connection, std::move(*reply));
    }
}

void Gateway::OnClosed(int connection) {
    {
        const std::lock_guard lock(mutex_);
        for (ChannelInfo& channel : state_.channels) {
            channel.open = channel.open && channel.connection != connection;
        }
        state_.connection_types.erase(connection);
    }
    changed_.notify_all();
    Log("connection " + std::to_string(connection) + " closed");
}

void Gateway::Emit(int connection, std::vector<uint8_t> message) {
    const uint32_t type =
        krogw::GwMessageType(krogw::GetU32(message.data() + krogw::kGwOpcodeOffset));
    const OutgoingPlan plan = faults_.PlanFor(type);
    const std::string prefix = "connection " + std::to_string(connection) + " -> ";
    if (plan.drop) {
        Log(prefix + "dropped " + Describe(message));
        return;
    }
    if (plan.result_code) {
        krogw::PutU32(message.data() + krogw::kGwResultCodeOffset, *plan.result_code);
    }
    if (plan.status) {
        krogw::PutU32(message.data() + krogw::kGwStatusOffset, *plan.status);
    }
    if (plan.byte_override && plan.byte_override->first < message.size()) {
        message[plan.byte_override->first] = plan.byte_override->second;
    }
    Log(prefix + Describe(message) + PlanNotes(plan));
    if (!server_->Send(connection, std::move(message), plan)) {
        Log(prefix + "not sent, the connection is gone");
    }
}

int Gateway::SendToBurstChannels(
    const std::function<std::vector<uint8_t>(uint16_t channel_id)>& build) {
    std::vector<std::pair<int, std::vector<uint8_t>>> messages;
    {
        const std::lock_guard lock(mutex_);
        for (const ChannelInfo& channel : state_.channels) {
            if (channel.open && channel.type == kBurstChannelType) {
                std::vector<uint8_t> message = build(channel.id);
                if (!message.empty()) {
                    messages.emplace_back(channel.connection, std::move(message));
                }
            }
        }
    }
    for (auto& [connection, message] : messages) {
        Emit(connection, std::move(message));
    }
    return static_cast<int>(messages.size());
}

void Gateway::ScheduleLoop() {
    std::unique_lock lock(mutex_);
    while (running_) {
        const auto now = std::chrono::steady_clock::now();
        auto next = std::chrono::steady_clock::time_point::max();
        std::vector<BurstReport> due;
        for (ScheduledReport& entry : schedule_) {
            if (entry.next <= now) {
                due.push_back(entry.report);
                entry.next += entry.period;
                if (entry.next <= now) {
                    entry.next = now + entry.period;  // fell behind: skip, do not catch up
                }
            }
            next = std::min(next, entry.next);
        }
        if (due.empty()) {
            if (next == std::chrono::steady_clock::time_point::max()) {
                changed_.wait(lock);
            } else {
                changed_.wait_until(lock, next);
            }
            continue;
        }
        const bool active = state_.mode == GatewayMode::kActive;
        lock.unlock();
        for (const BurstReport& report : due) {
            try {
                if (active) {
                    SendBurst(report);
                }
            } catch (const std::invalid_argument& error) {
                Log(std::string("scheduled burst not sent: ") + error.what());
            }
        }
        lock.lock();
    }
}

void Gateway::Log(const std::string& line) const {
    if (options_.log) {
        options_.log(line);
    }
}

}  // namespace gwsim
