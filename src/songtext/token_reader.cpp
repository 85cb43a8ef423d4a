#include "songtext/token_reader.h"

#include <cctype>

#include "songtext/notes.h"

namespace opl2::songtext {

bool ParseNumber(const std::string& t, int64_t* out) {
  if (t.empty() || !std::isdigit(static_cast<unsigned char>(t[0]))) return false;
  int64_t v = 0;
  if (t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) {
    for (size_t i = 2; i < t.size(); ++i) {
      if (!std::isxdigit(static_cast<unsigned char>(t[i]))) return false;
      v = v * 16 + std::stol(std::string(1, t[i]), nullptr, 16);
      if (v > kNumberLimit) return false;
    }
  } else {
    for (char c : t) {
      if (!std::isdigit(static_cast<unsigned char>(c))) return false;
      v = v * 10 + (c - '0');
      if (v > kNumberLimit) return false;
    }
  }
  *out = v;
  return true;
}

bool ParseHexByte(const std::string& t, uint8_t* out) {
  if (t.empty() || t.size() > 2) return false;
  int v = 0;
  for (char c : t) {
    if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
    v = v * 16 + (std::isdigit(static_cast<unsigned char>(c))
                      ? c - '0'
                      : std::tolower(static_cast<unsigned char>(c)) - 'a' + 10);
  }
  *out = static_cast<uint8_t>(v);
  return true;
}

bool IsName(const std::string& t) {
  if (t.empty() || !(std::isalpha(static_cast<unsigned char>(t[0])) || t[0] == '_')) return false;
  for (char c : t) {
    if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '_')) return false;
  }
  return true;
}

void TokenReader::Recover(int line) {
  int depth = 0;
  while (Peek().kind != Token::kEnd && (Peek().pos.line == line || depth > 0)) {
    if (IsP(Peek(), '{')) ++depth;
    if (IsP(Peek(), '}')) {
      if (depth == 0) return;
      --depth;
    }
    Next();
  }
}

int64_t TokenReader::Primary() {
  const Token tok = Peek();
  if (IsP(tok, '-')) {
    Next();
    return -Primary();
  }
  if (IsP(tok, '(')) {
    Next();
    const int64_t v = Sum();
    ExpectP(')', "')'");
    return v;
  }
  if (tok.kind != Token::kWord) Fail(tok, "expected a number, found " + Show(tok));
  int64_t v = 0;
  if (ParseNumber(tok.text, &v)) {
    Next();
    return v;
  }
  const auto c = consts_.find(tok.text);
  if (c != consts_.end()) {
    Next();
    return c->second;
  }
  if (IsName(tok.text) && !LooksLikeNoteName(tok.text)) {
    Fail(tok, "unknown constant '" + tok.text + "' (define it first with const)");
  }
  Fail(tok, "expected a number, found " + Show(tok));
}

int64_t TokenReader::Product() {
  int64_t v = Primary();
  while (IsP(Peek(), '*') || IsP(Peek(), '/')) {
    const Token op = Next();
    const int64_t r = Primary();
    if (op.text[0] == '*') {
      // Two factors near the limit overflow 64 bits before any check.
      if (__builtin_mul_overflow(v, r, &v)) Fail(op, "number too large");
    } else {
      if (r == 0) Fail(op, "division by zero");
      v /= r;
    }
    if (v > kNumberLimit || v < -kNumberLimit) Fail(op, "number too large");
  }
  return v;
}

int64_t TokenReader::Sum() {
  int64_t v = Product();
  while (IsP(Peek(), '+') || IsP(Peek(), '-')) {
    const Token op = Next();
    const bool plus = op.text[0] == '+';
    const int64_t r = Product();
    v = plus ? v + r : v - r;
    // Checked at each step: millions of terms would otherwise overflow.
    if (v > kNumberLimit || v < -kNumberLimit) Fail(op, "number too large");
  }
  return v;
}

int TokenReader::Value(int64_t lo, int64_t hi, const std::string& what) {
  const Token at = Peek();
  const int64_t v = Sum();
  if (v < lo || v > hi) {
    Fail(at, what + " must be " + std::to_string(lo) + ".." + std::to_string(hi) + ", not " +
                 std::to_string(v));
  }
  return static_cast<int>(v);
}

std::vector<uint8_t> TokenReader::ByteList() {
  const Token open = Peek();
  ExpectP('[', "'[' and hex bytes");
  std::vector<uint8_t> bytes;
  while (!IsP(Peek(), ']')) {
    const Token tok = Peek();
    uint8_t b = 0;
    if (tok.kind == Token::kEnd) {
      diag_.Error(open.pos, "'[' is never closed by ']'");
      throw Failed{};
    }
    if (tok.kind != Token::kWord || !ParseHexByte(tok.text, &b)) {
      Fail(tok, "expected a hex byte (00..FF) or ']', found " + Show(tok));
    }
    bytes.push_back(b);
    Next();
  }
  Next();
  return bytes;
}

}  // namespace opl2::songtext
