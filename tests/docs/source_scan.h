// Reading C++ sources and Markdown pages for the tests that hold the documents to the
// code: the string literals a source passes to a function, the first cells of a page's
// tables, and the report of what one side has and the other lacks.
#pragma once

#include <filesystem>
#include <set>
#include <string>
#include <vector>

namespace krogw_docs {

struct Token {
    enum Kind { Word, Text, Punct } kind;
    std::string text;
};

std::string ReadWhole(const std::filesystem::path& path);

// Splits C++ source into words, string literals and single punctuation characters.
// Comments, character literals and preprocessor lines are skipped; adjacent string
// literals are joined as the compiler joins them.
std::vector<Token> Tokenize(const std::string& source);

// The literals of the argument-th argument (from 0) of the call whose opening
// parenthesis is tokens[open_paren].
void CollectArgumentLiterals(const std::vector<Token>& tokens, size_t open_paren, int argument,
                             std::set<std::string>& out);

// The literals of the argument-th argument of every call to function in the tokens.
std::set<std::string> CallLiterals(const std::vector<Token>& tokens, const std::string& function,
                                   int argument);

// The text of the section under the heading line (e.g. "## The forms"), up to the next
// heading; "" when the page has no such heading.
std::string SectionOf(const std::string& page, const std::string& heading);

// The first cell of every table row that begins with a backtick, between its first
// backtick and the one that closes the cell.
std::set<std::string> BacktickedFirstCells(const std::string& page);

// Prints every text of wanted that present lacks, after what; returns their number.
int ReportMissing(const std::set<std::string>& wanted, const std::set<std::string>& present,
                  const char* what);

}  // namespace krogw_docs
