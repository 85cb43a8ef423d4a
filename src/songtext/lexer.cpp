#include "songtext/lexer.h"

#include <cctype>
#include <cstring>

namespace opl2::songtext {
namespace {

bool IsWordChar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '#';
}

}  // namespace

std::vector<Token> Tokenize(std::string_view src, Diagnostics& diag) {
  std::vector<Token> tokens;
  int line = 1;
  size_t line_start = 0;
  size_t i = 0;
  auto pos_at = [&](size_t at) { return SourcePos{line, static_cast<int>(at - line_start) + 1}; };
  while (i < src.size()) {
    const char c = src[i];
    if (c == '\n') {
      ++line;
      line_start = ++i;
    } else if (c == ' ' || c == '\t' || c == '\r' || c == ',') {
      ++i;
    } else if (c == ';' || c == '#') {
      while (i < src.size() && src[i] != '\n') ++i;
    } else if (IsWordChar(c)) {
      const size_t start = i;
      while (i < src.size() && IsWordChar(src[i])) ++i;
      tokens.push_back({Token::kWord, std::string(src.substr(start, i - start)), pos_at(start)});
    } else if (std::strchr("{}[]()=+-*/", c) != nullptr) {
      tokens.push_back({Token::kPunct, std::string(1, c), pos_at(i)});
      ++i;
    } else {
      diag.Error(pos_at(i), std::string("unexpected character '") +
                                (std::isprint(static_cast<unsigned char>(c)) ? std::string(1, c)
                                                                             : std::string("?")) +
                                "'");
      ++i;
    }
  }
  tokens.push_back({Token::kEnd, "", pos_at(i)});
  return tokens;
}

}  // namespace opl2::songtext
