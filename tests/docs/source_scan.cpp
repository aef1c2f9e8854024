#include "tests/docs/source_scan.h"

#include <cctype>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>

namespace krogw_docs {
namespace {

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

bool IsWordChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
}

}  // namespace

std::string ReadWhole(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<Token> Tokenize(const std::string& source) {
    std::vector<Token> tokens;
    bool line_start = true;
    for (size_t i = 0; i < source.size();) {
        const char c = source[i];
        if (c == '\n') {
            line_start = true;
            ++i;
        } else if (std::isspace(static_cast<unsigned char>(c))) {
            ++i;
        } else if (line_start && c == '#') {
            while (i < source.size() && source[i] != '\n') {
                i += (source[i] == '\\' && i + 1 < source.size()) ? size_t{2} : size_t{1};
            }
        } else if (source.compare(i, 2, "//") == 0) {
            i = source.find('\n', i);
            i = i == std::string::npos ? source.size() : i;
        } else if (source.compare(i, 2, "/*") == 0) {
            i = source.find("*/", i + 2);
            i = i == std::string::npos ? source.size() : i + 2;
        } else if (c == '"' || c == '\'') {
            std::string text;
            for (++i; i < source.size() && source[i] != c; ++i) {
                text +=
                    source[i] == '\\' && i + 1 < source.size() ? Unescaped(source[++i]) : source[i];
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
        } else if (IsWordChar(c)) {
            const size_t start = i;
            while (i < source.size() && IsWordChar(source[i])) {
                ++i;
            }
            tokens.push_back({Token::Word, source.substr(start, i - start)});
            line_start = false;
        } else {
            tokens.push_back({Token::Punct, std::string(1, c)});
            ++i;
            line_start = false;
        }
    }
    return tokens;
}

void CollectArgumentLiterals(const std::vector<Token>& tokens, size_t open_paren, int argument,
                             std::set<std::string>& out) {
    int depth = 0;
    int at = 0;
    for (size_t i = open_paren; i < tokens.size(); ++i) {
        const Token& t = tokens[i];
        if (t.kind == Token::Punct && (t.text == "(" || t.text == "[" || t.text == "{")) {
            ++depth;
        } else if (t.kind == Token::Punct && (t.text == ")" || t.text == "]" || t.text == "}")) {
            if (--depth == 0) {
                return;
            }
        } else if (depth == 1 && t.kind == Token::Punct && t.text == ",") {
            if (++at > argument) {
                return;
            }
        } else if (at == argument && t.kind == Token::Text) {
            out.insert(t.text);
        }
    }
}

std::set<std::string> CallLiterals(const std::vector<Token>& tokens, const std::string& function,
                                   int argument) {
    std::set<std::string> literals;
    for (size_t i = 0; i + 1 < tokens.size(); ++i) {
        if (tokens[i].kind == Token::Word && tokens[i].text == function &&
            tokens[i + 1].text == "(") {
            CollectArgumentLiterals(tokens, i + 1, argument, literals);
        }
    }
    return literals;
}

std::string SectionOf(const std::string& page, const std::string& heading) {
    std::istringstream lines(page);
    std::string section;
    bool inside = false;
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind('#', 0) == 0) {
            if (inside) {
                break;
            }
            inside = line == heading;
        } else if (inside) {
            section += line + "\n";
        }
    }
    return section;
}

std::set<std::string> BacktickedFirstCells(const std::string& page) {
    std::set<std::string> cells;
    std::istringstream lines(page);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("| `", 0) != 0) {
            continue;
        }
        const size_t open = line.find('`');
        const size_t close = line.find("` |", open + 1);
        if (close != std::string::npos) {
            cells.insert(line.substr(open + 1, close - open - 1));
        }
    }
    return cells;
}

int ReportMissing(const std::set<std::string>& wanted, const std::set<std::string>& present,
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

}  // namespace krogw_docs
