// Turns any file into song source text that assembles back to the same
// bytes: events where the bytes read as events, raw bytes where they do not,
// and an explicit layout whenever the file is not in the compact one.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace opl2::songtext {

std::string Disassemble(std::span<const uint8_t> file);

}  // namespace opl2::songtext
