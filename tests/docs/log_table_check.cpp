// Every log format the driver can write must have a row in the troubleshooting table,
// and every row must still name a format the driver writes. Formats are found two
// ways: any string literal carrying the driver's "KroGW :" mark (this covers texts
// kept in tables and handed to helpers), and every literal inside the format argument
// of an err() call (this covers a format that lacks the mark).
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct Token {
    enum Kind { Word, Text, Punct } kind;
    std::string text;
};

std::string ReadWhole(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

char Unescaped(char c) {
    switch (c) {
        case 'n':
            return '\n';
        case 't':
            return '\t';
        default:
            return c;  // \" \\ \'
    }
}

// Splits C++ source into words, string literals and single punctuation characters.
// Comments, character literals and preprocessor lines are skipped; adjacent string
// literals are joined as the compiler joins them.
std::vector<Token> Tokenize(const std::string& src) {
    std::vector<Token> tokens;
    bool line_start = true;
    for (size_t i = 0; i < src.size();) {
        const char c = src[i];
        if (c == '\n') {
            line_start = true;
            ++i;
        } else if (std::isspace(static_cast<unsigned char>(c))) {
            ++i;
        } else if (line_start && c == '#') {
            while (i < src.size() && src[i] != '\n') {
                i += (src[i] == '\\' && i + 1 < src.size()) ? size_t{2} : size_t{1};
            }
        } else if (src.compare(i, 2, "//") == 0) {
            i = src.find('\n', i);
            i = i == std::string::npos ? src.size() : i;
        } else if (src.compare(i, 2, "/*") == 0) {
            i = src.find("*/", i + 2);
            i = i == std::string::npos ? src.size() : i + 2;
        } else if (c == '"' || c == '\'') {
            std::string text;
            for (++i; i < src.size() && src[i] != c; ++i) {
                text += src[i] == '\\' && i + 1 < src.size() ? Unescaped(src[++i]) : src[i];
            }
            ++i;
            if (c == '"') {
                if (!tokens.empty() && tokens.back().kind == Token::Text) {
                    tokens.back().text += text;
                } else {
                    tokens.push_back({Token::Text, text});
                }
            }
            line_start = false;
        } else if (std::isalnum(static_cast<unsigned char>(c)) || c == '_') {
            const size_t start = i;
            while (i < src.size() &&
                   (std::isalnum(static_cast<unsigned char>(src[i])) || src[i] == '_')) {
                ++i;
            }
            tokens.push_back({Token::Word, src.substr(start, i - start)});
            line_start = false;
        } else {
            tokens.push_back({Token::Punct, std::string(1, c)});
            ++i;
            line_start = false;
        }
    }
    return tokens;
}

bool CarriesMark(const std::string& text) {
    std::string lower;
    std::transform(text.begin(), text.end(), std::back_inserter(lower),
                   [](unsigned char ch) { return static_cast<char>(std::tolower(ch)); });
    return lower.find("krogw :") != std::string::npos;
}

// The literals of err()'s second argument: from the first top-level comma to the next
// one or to the closing parenthesis.
void CollectErrFormats(const std::vector<Token>& tokens, size_t open_paren,
                       std::set<std::string>& out) {
    int depth = 0;
    int argument = 0;
    for (size_t i = open_paren; i < tokens.size(); ++i) {
        const Token& t = tokens[i];
        if (t.kind == Token::Punct && (t.text == "(" || t.text == "[" || t.text == "{")) {
            ++depth;
        } else if (t.kind == Token::Punct && (t.text == ")" || t.text == "]" || t.text == "}")) {
            if (--depth == 0) {
                return;
            }
        } else if (depth == 1 && t.kind == Token::Punct && t.text == ",") {
            if (++argument > 1) {
                return;
            }
        } else if (argument == 1 && t.kind == Token::Text && t.text != "%s") {
            out.insert(t.text);  // "%s" only passes a text found elsewhere
        }
    }
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
            const std::vector<Token> tokens = Tokenize(ReadWhole(entry.path()));
            for (size_t i = 0; i < tokens.size(); ++i) {
                if (tokens[i].kind == Token::Text && CarriesMark(tokens[i].text)) {
                    formats.insert(tokens[i].text);
                }
                if (tokens[i].kind == Token::Word && tokens[i].text == "err" &&
                    i + 1 < tokens.size() && tokens[i + 1].text == "(") {
                    CollectErrFormats(tokens, i + 1, formats);
                }
            }
        }
    }
    return formats;
}

// The first cell of every table row, between its first and last backtick.
std::set<std::string> TableFormats(const fs::path& page) {
    std::set<std::string> formats;
    std::istringstream lines(ReadWhole(page));
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("| `", 0) != 0) {
            continue;
        }
        const size_t open = line.find('`');
        const size_t close = line.find("` |", open + 1);
        if (close != std::string::npos) {
            formats.insert(line.substr(open + 1, close - open - 1));
        }
    }
    return formats;
}

int Report(const std::set<std::string>& wanted, const std::set<std::string>& present,
           const char* what) {
    int missing = 0;
    for (const std::string& text : wanted) {
        if (present.count(text) == 0) {
            std::printf("%s: \"%s\"\n", what, text.c_str());
            ++missing;
        }
    }
    return missing;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s SOURCE_ROOT TABLE_PAGE\n", argv[0]);
        return 2;
    }
    const std::set<std::string> source = SourceFormats(argv[1]);
    const std::set<std::string> table = TableFormats(argv[2]);
    if (source.empty() || table.empty()) {
        std::fprintf(stderr, "no formats found (source %zu, table %zu)\n", source.size(),
                     table.size());
        return 1;
    }
    const int faults = Report(source, table, "log format without a table row") +
                       Report(table, source, "table row naming no log format");
    std::printf("%zu formats in the source, %zu rows, %d faults\n", source.size(), table.size(),
                faults);
    return faults == 0 ? 0 : 1;
}
