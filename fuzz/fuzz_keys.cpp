// Any bytes as terminal input, decoded key by key the way the key reader
// does: every call must make progress or ask for more, never read past the
// bytes it is given, and a timed-out call must always settle what it has.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>

#include "player/key_code.h"
#include "player/key_decoder.h"

namespace {

[[noreturn]] void Fail(const char* what, size_t a, size_t b) {
  std::fprintf(stderr, "fuzz_keys: %s (%zu, %zu)\n", what, a, b);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Decoded from a heap copy of exactly `size` bytes, so ASan sees any read past them.
  auto* copy = static_cast<uint8_t*>(std::malloc(size == 0 ? 1 : size));
  for (size_t i = 0; i < size; ++i) copy[i] = data[i];
  const std::span<const uint8_t> all(copy, size);

  size_t pos = 0;
  while (pos < size) {
    const std::span<const uint8_t> rest = all.subspan(pos);
    opl2::DecodeResult r = opl2::DecodeKey(rest, /*timed_out=*/false);
    if (r.status == opl2::DecodeStatus::kIncomplete) {
      if (r.consumed != 0) Fail("incomplete result consumed bytes", pos, r.consumed);
      // No more bytes come: the reader times out and takes what it has.
      r = opl2::DecodeKey(rest, /*timed_out=*/true);
      if (r.status == opl2::DecodeStatus::kIncomplete)
        Fail("timed out but still incomplete", pos, rest.size());
    } else {
      // A settled result must not change when the wait is over.
      const opl2::DecodeResult again = opl2::DecodeKey(rest, /*timed_out=*/true);
      if (again.status != r.status || again.consumed != r.consumed)
        Fail("result depends on the timeout", pos, r.consumed);
    }
    if (r.consumed == 0 || r.consumed > rest.size()) Fail("consumed", pos, r.consumed);
    if (r.status == opl2::DecodeStatus::kKey) {
      // What the player does with a key: turn it into a key code.
      if (const auto code = opl2::KeyCodeFor(r.event); code && *code == 0)
        Fail("key code 0", pos, 0);
    }
    pos += r.consumed;
  }
  if (size == 0 && opl2::DecodeKey(all, true).status != opl2::DecodeStatus::kIncomplete) {
    Fail("empty input decoded to something", 0, 0);
  }
  std::free(copy);
  return 0;
}
