#include <stdexcept>
#include <utility>

#include "tools/gwsim/describe.h"
#include "tools/gwsim/gwsim.h"

namespace gwsim {

Gateway::Gateway(Options options) : options_(std::move(options)) {
    state_.log = options_.log;
    state_.requests = RequestRecord(options_.recorded_requests);
    state_.sent = RequestRecord(options_.recorded_requests);
    server_ = std::make_unique<Server>(
        options_.address, options_.port, options_.max_queued_bytes, faults_,
        [this](int connection, std::vector<uint8_t> message) {
            OnMessage(connection, std::move(message));
        },
        [this](int connection) { OnClosed(connection); }, options_.log,
        options_.log_traffic ? options_.log : LogSink{});
}

Gateway::Gateway(std::string address)
    : Gateway(Options{std::move(address), krogw::kGatewayPort, {}}) {}

Gateway::~Gateway() {
    Stop();
}

void Gateway::Start() {
    const std::lock_guard serving(lifecycle_);
    if (scheduler_.joinable()) {
        return;
    }
    server_->Start();
    const std::lock_guard lock(mutex_);
    running_ = true;
    scheduler_ = std::thread([this] { ScheduleLoop(); });
}

void Gateway::Stop() {
    const std::lock_guard serving(lifecycle_);
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

bool Gateway::serving() const {
    const std::lock_guard lock(mutex_);
    return running_;
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
    for (const auto& set_fault : scenario.faults) {
        set_fault(faults_);
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
    return state_.requests.Latest();
}

size_t Gateway::CountRequests(uint32_t opcode) const {
    const std::lock_guard lock(mutex_);
    return state_.requests.Count(opcode);
}

uint64_t Gateway::RequestsFallenOut() const {
    const std::lock_guard lock(mutex_);
    return state_.requests.overwritten();
}

std::optional<RecordedRequest> Gateway::WaitForRequest(uint32_t opcode,
                                                       std::chrono::milliseconds timeout,
                                                       size_t index) const {
    std::unique_lock lock(mutex_);
    const bool came =
        changed_.wait_for(lock, timeout, [&] { return state_.requests.Count(opcode) > index; });
    const RecordedRequest* found = came ? state_.requests.Find(opcode, index) : nullptr;
    return found == nullptr ? std::nullopt : std::optional<RecordedRequest>(*found);
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
    state_.requests.Clear();
    state_.sent.Clear();
}

std::vector<RecordedRequest> Gateway::Sent() const {
    const std::lock_guard lock(mutex_);
    return state_.sent.Latest();
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
        state_.requests.Add(
            connection, type == state_.connection_types.end() ? kNoChannelType : type->second,
            framed ? frame.command.opcode : 0, message, std::chrono::steady_clock::now());
        LogTraffic("connection " + std::to_string(connection) + " <- " + Describe(message));
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
    LogTraffic("connection " + std::to_string(connection) + " closed");
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
    if (plan.reset) {
        Log(prefix + "reset instead of " + Describe(message));
        server_->Reset(connection);
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
    {
        const std::lock_guard lock(mutex_);
        const auto channel = state_.connection_types.find(connection);
        state_.sent.Add(
            connection, channel == state_.connection_types.end() ? kNoChannelType : channel->second,
            krogw::GetU32(message.data() + krogw::kGwOpcodeOffset), message,
            std::chrono::steady_clock::now() + std::chrono::milliseconds(plan.delay_ms));
    }
    const std::string notes = PlanNotes(plan);
    if (notes.empty()) {
        LogTraffic(prefix + Describe(message));
    } else {
        Log(prefix + Describe(message) + notes);
    }
    if (!server_->Send(connection, std::move(message), plan)) {
        Log(prefix + "not sent, the connection is gone");
    }
}

void Gateway::LogTraffic(const std::string& line) const {
    if (options_.log_traffic) {
        Log(line);
    }
}

void Gateway::Log(const std::string& line) const {
    if (options_.log) {
        options_.log(line);
    }
}

}  // namespace gwsim
