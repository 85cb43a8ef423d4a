// Song source text to song file bytes.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "songtext/diagnostics.h"

namespace opl2::songtext {

struct AssembleResult {
  std::vector<uint8_t> bytes;  // only meaningful when diagnostics hold no error
  Diagnostics diagnostics;
  bool ok() const { return diagnostics.error_count() == 0; }
};

// Messages are kept in the result's diagnostics.
AssembleResult Assemble(std::string_view source);
// Messages go to `sink` as they are found; the result keeps their counts.
AssembleResult Assemble(std::string_view source, Diagnostics::Sink sink);

}  // namespace opl2::songtext
