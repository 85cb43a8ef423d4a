// Lays a parsed song source out into the bytes of a song file.
#pragma once

#include <cstdint>
#include <vector>

#include "songtext/diagnostics.h"
#include "songtext/source_model.h"

namespace opl2::songtext {

// The file's bytes; meaningless when `diag` holds errors afterwards.
std::vector<uint8_t> BuildSong(const SourceModel& model, Diagnostics& diag);

}  // namespace opl2::songtext
