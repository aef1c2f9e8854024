// Every log format the driver can write must have a row in the troubleshooting table,
// and every row must still name a format the driver writes. Formats are found two
// ways: any string literal carrying the driver's "KroGW :" mark (this covers texts
// kept in tables and handed to helpers), and every literal inside the format argument
// of an err() call (this covers a format that lacks the mark).
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "tests/docs/source_scan.h"

namespace {

namespace fs = std::filesystem;
using krogw_docs::Token;

bool CarriesMark(const std::string& text) {
    std::string lower;
    std::transform(text.begin(), text.end(), std::back_inserter(lower),
                   [](unsigned char ch) { return static_cast<char>(std::tolower(ch)); });
    return lower.find("krogw :") != std::string::npos;
}

std::set<std::string> SourceFormats(const fs::path& root) {
    static const char* const kDirs[] = {"context", "driver",   "config",   "address",
                                        "gateway", "exchange", "platform", "host"};
    std::set<std::string> formats;
    for (const char* dir : kDirs) {
        if (!fs::exists(root / dir)) {
            continue;
        }
        for (const auto& entry : fs::recursive_directory_iterator(root / dir)) {
            const auto ext = entry.path().extension();
            if (!entry.is_regular_file() || (ext != ".cpp" && ext != ".h")) {
                continue;
            }
            const std::vector<Token> tokens =
                krogw_docs::Tokenize(krogw_docs::ReadWhole(entry.path()));
            for (const Token& token : tokens) {
                if (token.kind == Token::Text && CarriesMark(token.text)) {
                    formats.insert(token.text);
                }
            }
            const std::set<std::string> err_formats = krogw_docs::CallLiterals(tokens, "err", 1);
            formats.insert(err_formats.begin(), err_formats.end());
        }
    }
    formats.erase("%s");  // only passes a text found elsewhere
    return formats;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s SOURCE_ROOT TABLE_PAGE\n", argv[0]);
        return 2;
    }
    const std::set<std::string> source = SourceFormats(argv[1]);
    const std::set<std::string> table =
        krogw_docs::BacktickedFirstCells(krogw_docs::ReadWhole(argv[2]));
    if (source.empty() || table.empty()) {
        std::fprintf(stderr, "no formats found (source %zu, table %zu)\n", source.size(),
                     table.size());
        return 1;
    }
    const int faults = krogw_docs::ReportMissing(source, table, "log format without a table row") +
                       krogw_docs::ReportMissing(table, source, "table row naming no log format");
    std::printf("%zu formats in the source, %zu rows, %d faults\n", source.size(), table.size(),
                faults);
    return faults == 0 ? 0 : 1;
}
