// Splits a song source into words and punctuation, one token at a time, so
// a source of any size needs no more memory than its longest word. A word
// is a run of letters, digits, '_' and '#' ("C4", "F#3", "0x1F",
// "loop_point"); the punctuation is { } [ ] ( ) = + - * /. Comments run from
// ';' to the end of the line, or from a '#' that begins a word. A UTF-8
// byte-order mark at the very start is skipped with a warning.
#pragma once

#include <string>
#include <string_view>

#include "songtext/diagnostics.h"

namespace opl2::songtext {

struct Token {
  enum Kind { kWord, kPunct, kEnd } kind = kEnd;
  std::string text;
  SourcePos pos;
};

class Lexer {
 public:
  Lexer(std::string_view source, Diagnostics& diag);
  // The next token; kEnd, again and again, at the end. Stray characters are
  // reported and skipped.
  Token Next();

 private:
  SourcePos PosAt(size_t at) const {
    return SourcePos{line_, static_cast<int>(at - line_start_) + 1};
  }

  std::string_view src_;
  Diagnostics& diag_;
  size_t i_ = 0;
  int line_ = 1;
  size_t line_start_ = 0;
};

}  // namespace opl2::songtext
