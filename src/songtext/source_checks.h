// Warnings about a source that assembles but will not play as its writer
// most likely meant: a channel without an end mark, an instrument selected
// but never defined.
#pragma once

#include "songtext/diagnostics.h"
#include "songtext/source_model.h"

namespace opl2::songtext {

void CheckSource(const SourceModel& model, Diagnostics& diag);

}  // namespace opl2::songtext
