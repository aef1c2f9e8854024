// The integration guide's table of fields against abi.h: every field of every record
// has a row `Record.field` in the guide, its description word for word the comment
// after the field in the header, and every row names a field the header declares.
#include <cstdio>
#include <map>
#include <regex>
#include <sstream>
#include <string>

#include "tests/docs/source_scan.h"

namespace {

using Descriptions = std::map<std::string, std::string>;

// "Record.field" -> the comment on the field's line ("" when it has none).
Descriptions HeaderFields(const std::string& header) {
    static const std::regex kOpen(R"(^struct (\w+) \{)");
    static const std::regex kField(R"(^\s+[^/]*?(\w+)(\[\w+\])?;\s*(/\*\s*(.*?)\s*\*/)?\s*$)");
    Descriptions fields;
    std::istringstream lines(header);
    std::string record;
    for (std::string line; std::getline(lines, line);) {
        std::smatch match;
        if (std::regex_search(line, match, kOpen)) {
            record = match[1];
        } else if (line.rfind("};", 0) == 0) {
            record.clear();
        } else if (!record.empty() && std::regex_match(line, match, kField)) {
            fields[record + "." + match[1].str()] = match[4];
        }
    }
    return fields;
}

// "Record.field" -> the second cell of the row whose first cell is `Record.field`.
Descriptions GuideFields(const std::string& section) {
    static const std::regex kRow(R"(^\| `(\w+\.\w+)` \| (.*?) \|\s*$)");
    Descriptions fields;
    std::istringstream lines(section);
    for (std::string line; std::getline(lines, line);) {
        std::smatch match;
        if (std::regex_match(line, match, kRow)) {
            fields[match[1]] = match[2];
        }
    }
    return fields;
}

int Compare(const Descriptions& header, const Descriptions& guide) {
    int faults = 0;
    for (const auto& [field, description] : header) {
        const auto row = guide.find(field);
        if (description.empty()) {
            std::printf("field without a comment in the header: %s\n", field.c_str());
        } else if (row == guide.end()) {
            std::printf("field without a row in the guide: %s\n", field.c_str());
        } else if (row->second != description) {
            std::printf("%s: the header says \"%s\", the guide \"%s\"\n", field.c_str(),
                        description.c_str(), row->second.c_str());
        } else {
            continue;
        }
        ++faults;
    }
    for (const auto& row : guide) {
        if (header.count(row.first) == 0) {
            std::printf("row naming no field of the header: %s\n", row.first.c_str());
            ++faults;
        }
    }
    return faults;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s ABI_HEADER GUIDE_PAGE\n", argv[0]);
        return 2;
    }
    const Descriptions header = HeaderFields(krogw_docs::ReadWhole(argv[1]));
    const Descriptions guide = GuideFields(
        krogw_docs::SectionOf(krogw_docs::ReadWhole(argv[2]), "### The records, field by field"));
    if (header.empty() || guide.empty()) {
        std::fprintf(stderr, "no fields found (header %zu, guide %zu)\n", header.size(),
                     guide.size());
        return 1;
    }
    const int faults = Compare(header, guide);
    std::printf("%zu fields in the header, %zu rows, %d faults\n", header.size(), guide.size(),
                faults);
    return faults == 0 ? 0 : 1;
}
