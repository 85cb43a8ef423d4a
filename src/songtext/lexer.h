// Splits a song source into words and punctuation. A word is a run of
// letters, digits, '_' and '#' ("C4", "F#3", "0x1F", "loop_point"); the
// punctuation is { } [ ] ( ) = + - * /. Comments run from ';' to the end of
// the line, or from a '#' that begins a word.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "songtext/diagnostics.h"

namespace opl2::songtext {

struct Token {
  enum Kind { kWord, kPunct, kEnd } kind = kEnd;
  std::string text;
  SourcePos pos;
};

// The last token is always kEnd. Stray characters are reported and skipped.
std::vector<Token> Tokenize(std::string_view source, Diagnostics& diag);

}  // namespace opl2::songtext
