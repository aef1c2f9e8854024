// Faults the simulated gateway can be told to commit, settable at any time from any
// thread. Message faults are keyed by the type of the outgoing message: the request's
// opcode for a reply (258 for the reply to a send-data request), 2049 for burst reports,
// or kAnyType for every message. Each rule applies `times` more times, or for ever with
// kAlways; setting a rule again replaces it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <utility>

namespace gwsim {

// How one outgoing message is to be mistreated.
struct OutgoingPlan {
    bool drop = false;
    bool reset = false;  // the connection is reset instead of the message going out
    int delay_ms = 0;
    std::optional<uint32_t> result_code;
    std::optional<uint32_t> status;
    size_t piece_bytes = 0;  // 0: the message goes out in one piece
    int piece_pause_ms = 0;
    std::optional<std::pair<size_t, uint8_t>> byte_override;  // offset, value
};

class Faults {
  public:
    static constexpr int kAlways = -1;
    static constexpr uint32_t kAnyType = 0;

    // The message goes out `ms` later; later messages of the connection are not held up.
    void DelayReply(uint32_t type, int ms, int times = kAlways);
    void DropReply(uint32_t type, int times = kAlways);
    // Instead of the message, the connection it was to go on is reset, as a gateway does
    // that fails while it owes the answer.
    void ResetInsteadOfReply(uint32_t type, int times = kAlways);
    void OverrideResult(uint32_t type, uint32_t result_code, int times = kAlways);
    // The header's delivery status: 0x1000001 for a full gateway queue, anything but 1 bad.
    void SetStatus(uint32_t type, uint32_t status, int times = kAlways);
    // The message goes out in pieces of `piece_bytes`, `pause_ms` apart.
    void SplitMessage(uint32_t type, size_t piece_bytes, int pause_ms, int times = kAlways);
    // The byte at `offset` goes out as `value` (when the message is that long), e.g. a
    // wrong channel type at 38 of an open-channel reply.
    void OverrideByte(uint32_t type, size_t offset, uint8_t value, int times = kAlways);

    // New connections are refused (the listening socket is closed meanwhile).
    void RefuseConnections(bool refuse);
    // Each new connection waits this long before it is accepted and served.
    void SlowAccepts(int delay_ms);

    // Forgets every rule and connection fault.
    void Clear();

    // The plan for the next message of this type; counts one use of each matching rule,
    // only of the drop rule when the message is dropped.
    OutgoingPlan PlanFor(uint32_t type);
    bool refusing() const;
    int accept_delay_ms() const;

  private:
    enum class Kind { kDelay, kDrop, kReset, kResult, kStatus, kSplit, kByte };
    struct Rule {
        int times = kAlways;
        uint32_t value = 0;  // delay, result code, status, piece size or byte offset
        int pause_ms = 0;    // between pieces
        uint8_t byte = 0;    // the overriding byte
    };

    void Set(Kind kind, uint32_t type, Rule rule);
    // The rule for the type, else the one for every type; one use is counted.
    std::optional<Rule> Take(Kind kind, uint32_t type);

    mutable std::mutex mutex_;
    std::map<std::pair<Kind, uint32_t>, Rule> rules_;
    bool refuse_ = false;
    int accept_delay_ms_ = 0;
};

}  // namespace gwsim
