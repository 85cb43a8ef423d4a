#include "random_songs.h"

#include <algorithm>

namespace opl2::test {

namespace {

uint8_t ValidNote(RandomSongs& r) {
  return static_cast<uint8_t>(r.Int(0, 7) * 16 + r.Int(0, 11));
}

void PutWord(Bytes& b, size_t at, int v) {
  b[at] = static_cast<uint8_t>(v & 0xFF);
  b[at + 1] = static_cast<uint8_t>((v >> 8) & 0xFF);
}

}  // namespace

void RandomSongs::Event(Bytes& out, int depth) {
  auto put = [&](std::initializer_list<int> v) {
    for (int x : v) out.push_back(static_cast<uint8_t>(x));
  };
  switch (Int(0, 19)) {
    case 0:
    case 1:
    case 2:
      put({ValidNote(*this), Byte()});
      break;
    case 3:
      put({0x0F, Byte()});
      break;
    case 4:
      put({0xFB});
      break;
    case 5:
      put({0xFF, Byte()});
      break;
    case 6:
      put({0xFD, Byte()});
      break;
    case 7:
      put({0xFC, Byte()});
      break;
    case 8:
      put({0xFA, Byte(), Byte()});
      break;
    case 9:
      if (depth < 4) {
        put({0xF9, 0, 0});
        const int n = Int(0, 4);
        for (int i = 0; i < n; ++i) Event(out, depth + 1);
        put({0xF8, Int(1, 255), 0, 0, 0});
      } else {
        put({0xF6});
      }
      break;
    case 10:
      put({0xF6});
      break;
    case 11:
      put({0x80});
      break;
    case 12:
      put({0xDA, ValidNote(*this), ValidNote(*this), Byte()});
      break;
    case 13:
      put({0xDA, Byte(), Byte(), Byte()});
      break;
    case 14: {  // reserved codes with their operands
      const int codes[] = {0xFE, 0xF4, 0xF3, 0xF2, 0xF1, 0xDF};
      const int code = codes[Int(0, 5)];
      out.push_back(static_cast<uint8_t>(code));
      const int ops = code == 0xF2 ? 4 : (code == 0xF4 || code == 0xF3) ? 0 : 1;
      for (int i = 0; i < ops; ++i) out.push_back(Byte());
      break;
    }
    case 15:  // invalid note
      put({Int(0, 7) * 16 + Int(12, 15), Byte()});
      break;
    case 16:  // loop marks with odd operands or alone
      if (Int(0, 1) == 0) {
        put({0xF9, Byte(), Byte()});
      } else {
        put({0xF8, Byte(), Byte(), Byte(), Byte()});
      }
      break;
    default:
      out.push_back(Byte());
      break;
  }
}

Bytes RandomSongs::Track(int events) {
  Bytes t;
  for (int i = 0; i < events; ++i) Event(t, 0);
  if (Int(0, 3) != 0) t.push_back(0x80);
  return t;
}

Bytes RandomSongs::Bank(int records, bool terminated) {
  Bytes b;
  for (int i = 0; i < records; ++i) {
    b.push_back(static_cast<uint8_t>(i == 0 && Int(0, 3) == 0 ? 0 : Int(1, 255)));
    for (int k = 0; k < 9; ++k) b.push_back(Byte());
  }
  if (terminated) b.push_back(0);
  return b;
}

Bytes RandomSongs::CompactSong() {
  Bytes song(27, 0);
  song[0] = 2;
  for (int k = 21; k < 25 && Int(0, 3) == 0; ++k) song[static_cast<size_t>(k)] = Byte();
  int bound = 26;
  PutWord(song, 1, bound);
  for (int c = 0; c < 9; ++c) {
    const Bytes t = Int(0, 9) == 0 ? Bytes{} : Track(Int(0, 12));
    song.insert(song.end(), t.begin(), t.end());
    bound += static_cast<int>(t.size());
    PutWord(song, static_cast<size_t>(3 + 2 * c), bound);
  }
  PutWord(song, 25, bound);
  const Bytes bank = Bank(Int(1, 5), true);
  song.insert(song.end(), bank.begin(), bank.end());
  return song;
}

Bytes RandomSongs::ScrambledSong() {
  // Parts: 9 tracks and the bank, placed in a random order with random gaps.
  std::vector<Bytes> parts;
  for (int c = 0; c < 9; ++c) parts.push_back(Track(Int(0, 8)));
  parts.push_back(Bank(Int(0, 4), Int(0, 4) != 0));
  std::vector<int> order(10);
  for (int i = 0; i < 10; ++i) order[static_cast<size_t>(i)] = i;
  std::shuffle(order.begin(), order.end(), rng_);
  Bytes song(27, 0);
  std::vector<int> start(10);
  for (int i : order) {
    for (int g = Int(0, 2) == 0 ? Int(1, 6) : 0; g > 0; --g) song.push_back(Byte());
    start[static_cast<size_t>(i)] = static_cast<int>(song.size());
    song.insert(song.end(), parts[static_cast<size_t>(i)].begin(),
                parts[static_cast<size_t>(i)].end());
  }
  song[0] = 2;
  // Each bound is the byte before its track, or something else entirely.
  for (int k = 0; k < 10; ++k) {
    int b = k < 9 ? start[static_cast<size_t>(k)] - 1
                  : start[8] - 1 + static_cast<int>(parts[8].size());
    if (Int(0, 5) == 0) b = Int(0, static_cast<int>(song.size()) + 40);
    PutWord(song, static_cast<size_t>(1 + 2 * k), b);
  }
  PutWord(song, 25, Int(0, 6) == 0 ? Int(0, static_cast<int>(song.size()) + 20) : start[9] - 1);
  for (int k = 21; k < 25; ++k) song[static_cast<size_t>(k)] = Byte();
  for (int g = Int(0, 3) == 0 ? Int(1, 30) : 0; g > 0; --g) song.push_back(Byte());
  if (Int(0, 4) == 0) song.resize(static_cast<size_t>(Int(27, static_cast<int>(song.size()))));
  return song;
}

Bytes RandomSongs::DamagedSong() {
  Bytes song = Int(0, 1) == 0 ? CompactSong() : ScrambledSong();
  switch (Int(0, 2)) {
    case 0:
      for (int n = Int(1, 6); n > 0; --n) {
        song[static_cast<size_t>(Int(0, static_cast<int>(song.size()) - 1))] = Byte();
      }
      break;
    case 1:
      song.resize(static_cast<size_t>(Int(0, static_cast<int>(song.size()))));
      break;
    default:
      for (int n = Int(1, 20); n > 0; --n) song.push_back(Byte());
      break;
  }
  return song;
}

Bytes RandomSongs::OddFile() {
  Bytes f(static_cast<size_t>(Int(0, 40)));
  for (uint8_t& b : f) b = Byte();
  if (!f.empty() && Int(0, 1) == 0) f[0] = 2;
  return f;
}

Bytes RandomSongs::Any() {
  switch (Int(0, 4)) {
    case 0:
      return CompactSong();
    case 1:
    case 2:
      return ScrambledSong();
    case 3:
      return DamagedSong();
    default:
      return OddFile();
  }
}

}  // namespace opl2::test
