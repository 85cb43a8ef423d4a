#include "songtext/file_image.h"

#include <algorithm>

namespace opl2::songtext {
namespace {

std::string Hex(int b) {
  const char* d = "0123456789ABCDEF";
  return std::string{d[(b >> 4) & 15], d[b & 15]};
}

}  // namespace

void FileImage::Place(int at, const std::vector<uint8_t>& bytes, SourcePos pos,
                      const std::string& what, Diagnostics& diag) {
  if (bytes.empty()) return;
  const size_t end = static_cast<size_t>(at) + bytes.size();
  if (end > value_.size()) {
    value_.resize(end, -1);
    owner_.resize(end, -1);
  }
  const auto self = static_cast<int32_t>(parts_.size());
  parts_.push_back({pos, what});
  for (size_t i = 0; i < bytes.size(); ++i) {
    const size_t o = static_cast<size_t>(at) + i;
    if (value_[o] >= 0 && value_[o] != bytes[i]) {
      const Part& other = parts_[static_cast<size_t>(owner_[o])];
      diag.Error(pos, what + " puts " + Hex(bytes[i]) + " at offset " + std::to_string(o) +
                          ", where " + other.what + " (line " + std::to_string(other.pos.line) +
                          ") put " + Hex(value_[o]));
      return;
    }
    value_[o] = bytes[i];
    owner_[o] = self;
  }
}

std::vector<uint8_t> FileImage::Bytes(size_t size) const {
  std::vector<uint8_t> out(size, 0);
  for (size_t i = 0; i < std::min(size, value_.size()); ++i) {
    if (value_[i] >= 0) out[i] = static_cast<uint8_t>(value_[i]);
  }
  return out;
}

}  // namespace opl2::songtext
