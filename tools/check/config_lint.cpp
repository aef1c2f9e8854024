#include "tools/check/config_lint.h"

#include <algorithm>
#include <cctype>
#include <cstdint>

#include "context/decimal_text.h"

namespace krogw_check {
namespace {

std::string Upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

size_t EditDistance(const std::string& a, const std::string& b) {
    std::vector<size_t> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j) {
        row[j] = j;
    }
    for (size_t i = 1; i <= a.size(); ++i) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            const size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] != b[j - 1])});
            diagonal = above;
        }
    }
    return row[b.size()];
}

}  // namespace

const std::vector<std::string>& ConfigKeys() {
    // In the driver's order of search.
    static const std::vector<std::string> keys = {
        "STATS_FILE",         "PRIMARY",           "SECONDARY",         "SIGN_RTU",
        "POLL_BUFFER_LENGTH", "CMD_BUFFER_LENGTH", "CMD_RESPONSE_TIME", "PARSE",
        "POLL_RESULT",        "RTU_INITIAL_STATE", "KEEPALIVE",         "STATS_PERIOD"};
    return keys;
}

std::string KeyOf(const std::string& retained) {
    for (const std::string& key : ConfigKeys()) {
        if (retained.find(key) != std::string::npos) {
            return key;
        }
    }
    return "";
}

std::string UnreadLineWarning(const std::string& retained) {
    int32_t table_type = 0;
    if (krogw::ReadDecimal(retained.c_str(), 2, table_type)) {
        return "";
    }
    const std::string name = retained.substr(0, retained.find('='));
    const std::string upper = Upper(name);
    for (const std::string& key : ConfigKeys()) {
        if (upper == key) {
            return "key '" + name + "' is not read: keys are upper case (" + key + ")";
        }
    }
    for (const std::string& key : ConfigKeys()) {
        if (EditDistance(upper, key) <= 2) {
            return "unknown key '" + name + "' is not read; did you mean " + key + "?";
        }
    }
    return "line is neither a key nor a table type: not read";
}

std::vector<std::string> TableTypeWarnings(const std::string& retained) {
    std::vector<std::string> warnings;
    const size_t equals = retained.find('=');
    if (equals == std::string::npos) {
        return warnings;
    }
    size_t digits = 0;
    while (digits < equals && std::isdigit(static_cast<unsigned char>(retained[digits]))) {
        ++digits;
    }
    if (digits > 2) {
        warnings.push_back("table type number " + retained.substr(0, digits) +
                           " has more than two digits: read as table type " +
                           std::to_string(std::stoi(retained.substr(0, 2))));
    }
    // The list ends at the first entry that begins with 0; the rest of that entry and
    // every entry after it are not read.
    size_t entry = equals + 1;
    while (entry < retained.size()) {
        if (retained[entry] == '0') {
            const std::string rest = retained.substr(entry + 1);
            if (!rest.empty()) {
                warnings.push_back("text '" + rest + "' after the closing 0 is not read");
            }
            break;
        }
        const size_t comma = retained.find(',', entry);
        if (comma == std::string::npos) {
            break;
        }
        entry = comma + 1;
    }
    return warnings;
}

}  // namespace krogw_check
