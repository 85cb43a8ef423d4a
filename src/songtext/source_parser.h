// Reads a song source into a SourceModel. Every error is reported (the
// parser picks up again at the next line) and the model holds whatever
// could be read.
#pragma once

#include <string_view>

#include "songtext/diagnostics.h"
#include "songtext/source_model.h"

namespace opl2::songtext {

// Largest offset or file size a source may name.
inline constexpr int kMaxFileSize = 16 * 1024 * 1024;
// Loops a track may nest (the sequencer's loop tables).
inline constexpr int kMaxLoopNesting = 255;

SourceModel ParseSource(std::string_view source, Diagnostics& diag);

}  // namespace opl2::songtext
