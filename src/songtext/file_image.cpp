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
  const auto start = static_cast<size_t>(at);
  const size_t end = start + bytes.size();
  if (end > value_.size()) {
    value_.resize(end, 0);
    placed_.resize(end, false);
  }
  size_t i = 0;
  for (; i < bytes.size(); ++i) {
    const size_t o = start + i;
    if (placed_[o] && value_[o] != bytes[i]) {
      const Part* other = nullptr;
      for (auto p = parts_.rbegin(); p != parts_.rend() && other == nullptr; ++p) {
        if (o >= p->at && o < p->at + p->size) other = &*p;
      }
      diag.Error(pos, what + " puts " + Hex(bytes[i]) + " at offset " + std::to_string(o) +
                          ", where " + other->what + " (line " + std::to_string(other->pos.line) +
                          ") put " + Hex(value_[o]));
      break;
    }
    value_[o] = bytes[i];
    placed_[o] = true;
  }
  parts_.push_back({start, i, pos, what});  // the bytes it did place
}

std::vector<uint8_t> FileImage::Bytes(size_t size) const {
  std::vector<uint8_t> out(value_.begin(), value_.begin() + std::min(size, value_.size()));
  out.resize(size, 0);
  return out;
}

}  // namespace opl2::songtext
