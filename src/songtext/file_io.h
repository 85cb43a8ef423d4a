// Whole-file reads and all-or-nothing writes for the song tools.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace opl2::songtext {

// False (with a reason in *error) when the file cannot be read.
bool ReadWholeFile(const std::string& path, std::vector<uint8_t>* bytes, std::string* error);

// Writes to a temporary file beside `path` and renames it over `path`, so
// `path` holds either its old contents or all of `bytes`, never a part.
bool WriteFileAtomically(const std::string& path, const void* data, size_t size,
                         std::string* error);

}  // namespace opl2::songtext
