// Burst reports: on demand, on a schedule while the gateway is active, and messages of
// unknown types, to every open burst channel.
#include <algorithm>
#include <stdexcept>
#include <utility>

#include "tools/gwsim/gwsim.h"

namespace gwsim {

int Gateway::SendBurst(const BurstReport& report) {
    {
        const std::lock_guard lock(mutex_);
        CheckBurstReport(state_.model, report);
    }
    return SendToBurstChannels([&](uint16_t channel_id) {
        return BuildBurstReport(state_.model, report, channel_id, state_.log);
    });
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

}  // namespace gwsim
