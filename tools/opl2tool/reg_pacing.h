// Spaces a register stream's writes as the OPL2 bus would: a write takes
// 104 master clocks (its address write, data write and status reads), so the
// writes of one instant reach the chip one after another instead of all
// before the same sample.
#pragma once

#include "chip/reg_stream.h"

namespace opl2tool {

// Write k of a run that starts at sample p (a run goes on while the bus is
// still busy with the one before) is made at master clock 72 p + 104 k and
// applied before sample floor((72 p + 104 k) / 72): the first write where it
// was, the next ones 1, 2, 4, 5, 7, ... samples later. The stream keeps its
// length; a write paced past its end never acts.
opl2::RegStream PaceRegStream(const opl2::RegStream& stream);

}  // namespace opl2tool
