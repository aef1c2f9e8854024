// Unsolicited burst reports built from the table model.
#include <stdexcept>
#include <string>

#include "tools/gwsim/connection.h"
#include "tools/gwsim/handlers.h"
#include "tools/gwsim/row_encoding.h"

namespace gwsim {
namespace {

constexpr size_t kSectionBodyBytes = 16;

// A command block as the gateway starts each section with it.
void AppendCommandBlock(std::vector<uint8_t>& out, uint16_t data_length) {
    krogw::GwFrame frame = krogw::GwRequestFrame(krogw::kOpBurstReport, 0, data_length);
    uint8_t bytes[krogw::kGwBodyOffset];
    krogw::WriteGwFrame(frame, bytes, sizeof bytes);
    out.insert(out.end(), bytes + krogw::kGwHeaderBytes, bytes + krogw::kGwBodyOffset);
}

std::vector<uint8_t> SectionRows(const TableModel& model, const BurstSection& section,
                                 const LogSink& log) {
    std::vector<uint8_t> rows;
    DataWriter writer(rows);
    for (const TableRow& wanted : section.rows) {
        const RtuTable* table = model.FindTable(section.rtu, wanted.table);
        if (table != nullptr && table->HasRow(wanted.row)) {
            WriteBurstRow(writer, wanted.table, *table, wanted.row);
        }
    }
    NoteClampedStamps(log, section.rtu, writer);
    return rows;
}

}  // namespace

std::vector<uint8_t> BuildBurstReport(const TableModel& model, const BurstReport& report,
                                      uint16_t channel_id, const LogSink& log) {
    std::vector<uint8_t> out(krogw::kGwHeaderBytes, 0);
    uint16_t sections = 0;
    for (const BurstSection& section : report) {
        const Rtu* rtu = model.FindRtu(section.rtu);
        if (rtu == nullptr || !rtu->online) {
            continue;
        }
        const std::vector<uint8_t> rows = SectionRows(model, section, log);
        AppendCommandBlock(out, static_cast<uint16_t>(kSectionBodyBytes + rows.size()));
        std::vector<uint8_t> body(kSectionBodyBytes, 0);
        krogw::PutU16(body.data(), section.rtu);
        out.insert(out.end(), body.begin(), body.end());
        out.insert(out.end(), rows.begin(), rows.end());
        ++sections;
    }
    if (sections == 0) {
        return {};
    }
    krogw::GwFrame header = krogw::GwRequestFrame(krogw::kOpBurstReport, channel_id, 0);
    header.header.status = krogw::kGwStatusNormal;
    header.header.total_length = static_cast<uint16_t>(out.size());
    header.header.tail_mark = sections;
    uint8_t bytes[krogw::kGwBodyOffset];
    krogw::WriteGwFrame(header, bytes, sizeof bytes);
    std::copy(bytes, bytes + krogw::kGwHeaderBytes, out.begin());
    return out;
}

void CheckBurstReport(const TableModel& model, const BurstReport& report) {
    for (const BurstSection& section : report) {
        for (const TableRow& wanted : section.rows) {
            if (!model.GetTable(section.rtu, wanted.table).HasRow(wanted.row)) {
                throw std::invalid_argument("burst row " + std::to_string(wanted.row) +
                                            " is outside RTU " + std::to_string(section.rtu) +
                                            " table " + std::to_string(wanted.table));
            }
        }
    }
    if (BuildBurstReport(model, report, 0, {}).size() > kMaxMessageBytes) {
        throw std::invalid_argument("the burst report is longer than the driver can read");
    }
}

}  // namespace gwsim
