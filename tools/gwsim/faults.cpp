#include "tools/gwsim/faults.h"

namespace gwsim {

void Faults::DelayReply(uint32_t type, int ms, int times) {
    Set(Kind::kDelay, type, {times, static_cast<uint32_t>(ms < 0 ? 0 : ms), 0});
}

void Faults::DropReply(uint32_t type, int times) {
    Set(Kind::kDrop, type, {times, 0, 0});
}

void Faults::ResetInsteadOfReply(uint32_t type, int times) {
    Set(Kind::kReset, type, {times, 0, 0});
}

void Faults::OverrideResult(uint32_t type, uint32_t result_code, int times) {
    Set(Kind::kResult, type, {times, result_code, 0});
}

void Faults::SetStatus(uint32_t type, uint32_t status, int times) {
    Set(Kind::kStatus, type, {times, status, 0});
}

void Faults::SplitMessage(uint32_t type, size_t piece_bytes, int pause_ms, int times) {
    Set(Kind::kSplit, type,
        {times, static_cast<uint32_t>(piece_bytes == 0 ? 1 : piece_bytes), pause_ms});
}

void Faults::OverrideByte(uint32_t type, size_t offset, uint8_t value, int times) {
    Set(Kind::kByte, type, {times, static_cast<uint32_t>(offset), 0, value});
}

void Faults::RefuseConnections(bool refuse) {
    const std::lock_guard lock(mutex_);
    refuse_ = refuse;
}

void Faults::SlowAccepts(int delay_ms) {
    const std::lock_guard lock(mutex_);
    accept_delay_ms_ = delay_ms < 0 ? 0 : delay_ms;
}

void Faults::Clear() {
    const std::lock_guard lock(mutex_);
    rules_.clear();
    refuse_ = false;
    accept_delay_ms_ = 0;
}

OutgoingPlan Faults::PlanFor(uint32_t type) {
    OutgoingPlan plan;
    plan.drop = Take(Kind::kDrop, type).has_value();
    plan.reset = !plan.drop && Take(Kind::kReset, type).has_value();
    if (plan.drop || plan.reset) {
        return plan;  // the other rules wait for a message that goes out
    }
    if (const auto delay = Take(Kind::kDelay, type)) {
        plan.delay_ms = static_cast<int>(delay->value);
    }
    if (const auto result = Take(Kind::kResult, type)) {
        plan.result_code = result->value;
    }
    if (const auto status = Take(Kind::kStatus, type)) {
        plan.status = status->value;
    }
    if (const auto split = Take(Kind::kSplit, type)) {
        plan.piece_bytes = split->value;
        plan.piece_pause_ms = split->pause_ms;
    }
    if (const auto byte = Take(Kind::kByte, type)) {
        plan.byte_override = std::make_pair(static_cast<size_t>(byte->value), byte->byte);
    }
    return plan;
}

bool Faults::refusing() const {
    const std::lock_guard lock(mutex_);
    return refuse_;
}

int Faults::accept_delay_ms() const {
    const std::lock_guard lock(mutex_);
    return accept_delay_ms_;
}

void Faults::Set(Kind kind, uint32_t type, Rule rule) {
    const std::lock_guard lock(mutex_);
    if (rule.times == 0) {
        rules_.erase({kind, type});
    } else {
        rules_[{kind, type}] = rule;
    }
}

std::optional<Faults::Rule> Faults::Take(Kind kind, uint32_t type) {
    const std::lock_guard lock(mutex_);
    auto found = rules_.find({kind, type});
    if (found == rules_.end()) {
        found = rules_.find({kind, kAnyType});
    }
    if (found == rules_.end()) {
        return std::nullopt;
    }
    const Rule rule = found->second;
    if (rule.times != kAlways && --found->second.times <= 0) {
        rules_.erase(found);
    }
    return rule;
}

}  // namespace gwsim
