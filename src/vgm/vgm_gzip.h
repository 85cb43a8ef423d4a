// The gzip-compressed form of a VGM file (.vgz): the same bytes through
// deflate, in a gzip wrapper whose header carries no time or name, so the
// same file always compresses to the same bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace opl2::vgm {

// The largest file a VGM header can count (its offsets are 32-bit).
inline constexpr uint64_t kLargestVgmFile = 0xFFFF'FFFFull;

// Whether the bytes start with the gzip magic (1F 8B).
bool IsGzip(const uint8_t* data, size_t size);

// Compresses `data` at the best ratio. False with a reason on failure.
bool Gzip(const uint8_t* data, size_t size, std::vector<uint8_t>* out, std::string* error);

// Decompresses a whole gzip stream (members one after another allowed) of
// at most `max_size` bytes. False with a reason for damaged data, data
// after the end, or more than `max_size` bytes.
bool Gunzip(const uint8_t* data, size_t size, uint64_t max_size, std::vector<uint8_t>* out,
            std::string* error);

// ".vgz" at the end of a file name (any case).
bool IsVgzName(const std::string& path);

}  // namespace opl2::vgm
