// Every reason krogw-check can give for a rejected address must have a row in the
// page's table of reasons, and every row must still name a reason the checker gives.
// The checker builds each reason with Reason(format, numbers): the formats are the
// literals of Reason()'s first argument.
#include <cstdio>
#include <set>
#include <string>

#include "tests/docs/source_scan.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s REJECT_REASON_SOURCE ADDRESS_PAGE\n", argv[0]);
        return 2;
    }
    const std::set<std::string> source =
        krogw_docs::CallLiterals(krogw_docs::Tokenize(krogw_docs::ReadWhole(argv[1])), "Reason", 0);
    const std::set<std::string> table = krogw_docs::BacktickedFirstCells(
        krogw_docs::SectionOf(krogw_docs::ReadWhole(argv[2]), "### Why an address is rejected"));
    if (source.empty() || table.empty()) {
        std::fprintf(stderr, "no reasons found (source %zu, table %zu)\n", source.size(),
                     table.size());
        return 1;
    }
    const int faults = krogw_docs::ReportMissing(source, table, "reason without a table row") +
                       krogw_docs::ReportMissing(table, source, "table row naming no reason");
    std::printf("%zu reasons in the source, %zu rows, %d faults\n", source.size(), table.size(),
                faults);
    return faults == 0 ? 0 : 1;
}
