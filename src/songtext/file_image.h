// A file being put together from parts placed at offsets. Each byte may be
// set once, or again to the same value; a part that disagrees with one
// placed before is reported with both parts named.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "songtext/diagnostics.h"

namespace opl2::songtext {

class FileImage {
 public:
  // `what` names the part in messages ("channel 3", "the bank").
  void Place(int at, const std::vector<uint8_t>& bytes, SourcePos pos, const std::string& what,
             Diagnostics& diag);
  // One past the last byte placed.
  size_t extent() const { return value_.size(); }
  // The first `size` bytes; bytes never placed are 0.
  std::vector<uint8_t> Bytes(size_t size) const;

 private:
  struct Part {
    size_t at;
    size_t size;
    SourcePos pos;
    std::string what;
  };
  // One byte and one bit for each byte of the file; a disagreement looks
  // its earlier part up among the few parts placed.
  std::vector<uint8_t> value_;
  std::vector<bool> placed_;
  std::vector<Part> parts_;
};

}  // namespace opl2::songtext
