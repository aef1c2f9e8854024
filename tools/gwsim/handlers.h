// The gateway's side of every request: what it changes in the gateway's state and the
// reply it answers with. Pure functions of the state and the message; the caller holds
// the gateway's lock and sends the reply.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <vector>

#include "gateway/frame.h"
#include "tools/gwsim/request_record.h"
#include "tools/gwsim/table_model.h"
#include "tools/gwsim/types.h"

namespace gwsim {

struct GatewayState {
    TableModel model;
    GatewayMode mode = GatewayMode::kActive;
    uint32_t status_word = 1;  // bits 0 and 2: 1 active, 5 standby
    uint16_t next_channel_id = 0x0101;
    std::vector<ChannelInfo> channels;
    std::map<int, uint8_t> connection_types;  // by connection, from its open-channel request
    std::vector<SetCallRecord> setcalls;
    RequestRecord requests{1};  // sized by the gateway's options
    RequestRecord sent{1};      // the messages sent, as many
    LogSink log;
};

struct Request {
    int connection = 0;
    const std::vector<uint8_t>& bytes;
    krogw::GwFrame frame;

    uint32_t type() const { return krogw::GwMessageType(frame.command.opcode); }
    size_t body_length() const { return bytes.size() - krogw::kGwBodyOffset; }
};

// Header and command block of the request sent back with bit 31 set in the opcode, the
// given result and body, status 1 (a normal message) and the request's aux_word.
std::vector<uint8_t> BuildReply(const Request& request, uint32_t result,
                                const std::vector<uint8_t>& body);
// The request's first `length` body bytes, zero-padded when the request has fewer.
std::vector<uint8_t> EchoBody(const Request& request, size_t length);

// The reply to any request, or nothing for a message shorter than a command block.
std::optional<std::vector<uint8_t>> HandleRequest(GatewayState& state, const Request& request);

// Opcodes 1, 7, 8, 9 and 10.
std::vector<uint8_t> HandleOpenChannel(GatewayState& state, const Request& request);
std::vector<uint8_t> HandleCloseChannel(GatewayState& state, const Request& request);
std::vector<uint8_t> HandleSetMode(GatewayState& state, const Request& request);
std::vector<uint8_t> HandleGatewayStatus(const GatewayState& state, const Request& request);
std::vector<uint8_t> HandleRtuChannelStatus(const GatewayState& state, const Request& request);

// Opcodes 257 and 261, 258 and 259, 1028, 513.
std::vector<uint8_t> HandlePoll(GatewayState& state, const Request& request);
std::vector<uint8_t> HandleWrite(GatewayState& state, const Request& request);
std::vector<uint8_t> HandleSetRtuTime(GatewayState& state, const Request& request);
std::vector<uint8_t> HandleSetCall(GatewayState& state, const Request& request);

// An unsolicited burst report (opcode 2049) of the current values: one section per RTU
// that is defined and online, rows that no longer exist left out. Empty when no section
// remains. Clamped time stamps are logged.
std::vector<uint8_t> BuildBurstReport(const TableModel& model, const BurstReport& report,
                                      uint16_t channel_id, const LogSink& log);
// Throws std::invalid_argument when a row of the report is not in the model.
void CheckBurstReport(const TableModel& model, const BurstReport& report);

// A message of the given opcode and no meaning, as a gateway might send by mistake.
std::vector<uint8_t> BuildUnknownMessage(uint32_t opcode, uint16_t channel_id);

}  // namespace gwsim
