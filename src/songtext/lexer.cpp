#include "songtext/lexer.h"

#include <cctype>
#include <cstring>

namespace opl2::songtext {
namespace {

bool IsWordChar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '#';
}

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

}  // namespace

Lexer::Lexer(std::string_view source, Diagnostics& diag) : src_(source), diag_(diag) {
  if (src_.substr(0, kByteOrderMark.size()) == kByteOrderMark) {
    diag_.Warning(PosAt(0), "byte-order mark at the start of the file (ignored)");
    i_ = kByteOrderMark.size();
    line_start_ = i_;
  }
}

Token Lexer::Next() {
  while (i_ < src_.size()) {
    const char c = src_[i_];
    if (c == '\n') {
      ++line_;
      line_start_ = ++i_;
    } else if (c == ' ' || c == '\t' || c == '\r' || c == ',') {
      ++i_;
    } else if (c == ';' || c == '#') {
      while (i_ < src_.size() && src_[i_] != '\n') ++i_;
    } else if (IsWordChar(c)) {
      const size_t start = i_;
      while (i_ < src_.size() && IsWordChar(src_[i_])) ++i_;
      return {Token::kWord, std::string(src_.substr(start, i_ - start)), PosAt(start)};
    } else if (std::strchr("{}[]()=+-*/", c) != nullptr) {
      ++i_;
      return {Token::kPunct, std::string(1, c), PosAt(i_ - 1)};
    } else {
      diag_.Error(PosAt(i_), std::string("unexpected character '") +
                                 (std::isprint(static_cast<unsigned char>(c)) ? std::string(1, c)
                                                                              : std::string("?")) +
                                 "'");
      ++i_;
    }
  }
  return {Token::kEnd, "", PosAt(i_)};
}

}  // namespace opl2::songtext
