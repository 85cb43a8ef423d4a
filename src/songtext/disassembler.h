// Turns any file into song source text that assembles back to the same
// bytes: events where the bytes read as events, raw bytes where they do not,
// and an explicit layout whenever the file is not in the compact one.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>

namespace opl2::songtext {

std::string Disassemble(std::span<const uint8_t> file);

// The same text handed to `sink` part by part, as it is made.
using TextSink = std::function<void(std::string_view)>;
void Disassemble(std::span<const uint8_t> file, const TextSink& sink);

}  // namespace opl2::songtext
