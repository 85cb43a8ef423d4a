// The token stream of a song source and what is read straight off it:
// numbers, constants and expressions, hex byte lists, and the unwinding of
// a statement after an error. The source parser reads through it.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "songtext/diagnostics.h"
#include "songtext/lexer.h"

namespace opl2::songtext {

// Numbers and the values of expressions stay within this, whatever the
// width of long on the system.
inline constexpr int64_t kNumberLimit = int64_t{1} << 40;

// A decimal or 0x-prefixed hexadecimal number of at most 2^40.
bool ParseNumber(const std::string& t, int64_t* out);
// One or two hex digits.
bool ParseHexByte(const std::string& t, uint8_t* out);
// Letters, digits and '_', not starting with a digit.
bool IsName(const std::string& t);

class TokenReader {
 protected:
  TokenReader(std::string_view source, Diagnostics& diag) : lexer_(source, diag), diag_(diag) {
    cur_ = lexer_.Next();
  }

  // An error already reported: unwind the current statement or event.
  struct Failed {};

  // The token ahead; valid until the next Next().
  const Token& Peek() const { return cur_; }
  Token Next() {
    Token tok = std::move(cur_);
    cur_ = tok.kind == Token::kEnd ? tok : lexer_.Next();
    return tok;
  }
  static bool IsP(const Token& tok, char c) {
    return tok.kind == Token::kPunct && tok.text[0] == c;
  }
  static bool IsW(const Token& tok, const char* w) {
    return tok.kind == Token::kWord && tok.text == w;
  }
  static std::string Show(const Token& tok) {
    return tok.kind == Token::kEnd ? "the end of the file" : "'" + tok.text + "'";
  }

  [[noreturn]] void Fail(const Token& at, const std::string& message) {
    diag_.Error(at.pos, message);
    throw Failed{};
  }

  // After an error: skip the rest of the line, and any block opened on it up
  // to its closing brace, but not a brace that closes an enclosing block.
  void Recover(int line);

  void ExpectP(char c, const std::string& what) {
    if (!IsP(Peek(), c)) Fail(Peek(), "expected " + what + ", found " + Show(Peek()));
    Next();
  }

  // Expressions: numbers, constants, + - * / and parentheses.
  int64_t Primary();
  int64_t Product();
  int64_t Sum();
  int Value(int64_t lo, int64_t hi, const std::string& what);

  std::vector<uint8_t> ByteList();

  Lexer lexer_;
  Token cur_;
  Diagnostics& diag_;
  std::map<std::string, int64_t> consts_;
};

}  // namespace opl2::songtext
