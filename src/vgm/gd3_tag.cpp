#include "vgm/gd3_tag.h"

#include <cstring>

#include "vgm/vgm_format.h"

namespace opl2::vgm {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

void Put32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

uint32_t Get32(const uint8_t* p) {
  return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
}

// Decodes one code point at text[*i], moving *i past it.
char32_t NextCodePoint(const std::string& text, size_t* i) {
  const auto byte = [&](size_t k) { return static_cast<uint8_t>(text[k]); };
  const uint8_t lead = byte(*i);
  ++*i;
  if (lead < 0x80) return lead;
  int extra;
  char32_t cp;
  char32_t lowest;
  if ((lead & 0xE0) == 0xC0) {
    extra = 1, cp = lead & 0x1F, lowest = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    extra = 2, cp = lead & 0x0F, lowest = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    extra = 3, cp = lead & 0x07, lowest = 0x10000;
  } else {
    return kReplacement;
  }
  for (int k = 0; k < extra; ++k) {
    if (*i >= text.size() || (byte(*i) & 0xC0) != 0x80) return kReplacement;
    cp = cp << 6 | (byte(*i) & 0x3F);
    ++*i;
  }
  if (cp < lowest || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return kReplacement;
  return cp;
}

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | cp >> 6);
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | cp >> 12);
    out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | cp >> 18);
    out += static_cast<char>(0x80 | (cp >> 12 & 0x3F));
    out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

}  // namespace

const char* Gd3FieldName(int field) {
  static constexpr const char* kNames[kGd3FieldCount] = {
      "title",  "title (Japanese)",  "game", "game (Japanese)", "system", "system (Japanese)",
      "author", "author (Japanese)", "date", "converter",       "notes"};
  return field >= 0 && field < kGd3FieldCount ? kNames[field] : "?";
}

std::u16string Utf8ToUtf16(const std::string& text) {
  std::u16string out;
  for (size_t i = 0; i < text.size();) {
    const char32_t cp = NextCodePoint(text, &i);
    if (cp < 0x10000) {
      out += static_cast<char16_t>(cp);
    } else {
      out += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
      out += static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
    }
  }
  return out;
}

std::string Utf16ToUtf8(const std::u16string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t u = text[i];
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      AppendUtf8(out,
                 0x10000 + ((static_cast<char32_t>(u) - 0xD800) << 10) + (text[i + 1] - 0xDC00));
      ++i;
    } else if (u >= 0xD800 && u <= 0xDFFF) {
      AppendUtf8(out, kReplacement);
    } else {
      AppendUtf8(out, u);
    }
  }
  return out;
}

std::vector<uint8_t> EncodeGd3(const Gd3Tag& tag) {
  std::vector<uint8_t> strings;
  for (const std::string& field : tag.fields) {
    for (const char16_t u : Utf8ToUtf16(field)) {
      if (u == 0) continue;
      strings.push_back(static_cast<uint8_t>(u & 0xFF));
      strings.push_back(static_cast<uint8_t>(u >> 8));
    }
    strings.push_back(0);
    strings.push_back(0);
  }
  std::vector<uint8_t> out(kGd3Ident, kGd3Ident + 4);
  Put32(out, kGd3Version);
  Put32(out, static_cast<uint32_t>(strings.size()));
  out.insert(out.end(), strings.begin(), strings.end());
  return out;
}

bool DecodeGd3(const uint8_t* data, size_t size, Gd3Tag* tag, size_t* used, std::string* error) {
  if (size < kGd3HeaderSize) {
    *error = "GD3 tag cut short: " + std::to_string(size) + " of its 12 header bytes";
    return false;
  }
  if (std::memcmp(data, kGd3Ident, 4) != 0) {
    *error = "GD3 offset does not point at a \"Gd3 \" tag";
    return false;
  }
  const uint32_t version = Get32(data + 4);
  if (version != kGd3Version) {
    *error = "GD3 tag version " + std::to_string(version >> 8) + "." +
             std::to_string(version & 0xFF) + " (only 1.00 is known)";
    return false;
  }
  const uint32_t length = Get32(data + 8);
  if (length > size - kGd3HeaderSize) {
    *error = "GD3 tag says " + std::to_string(length) + " bytes of strings, the file holds " +
             std::to_string(size - kGd3HeaderSize);
    return false;
  }
  if (length % 2 != 0) {
    *error = "GD3 strings have an odd length (" + std::to_string(length) + " bytes)";
    return false;
  }
  const uint8_t* p = data + kGd3HeaderSize;
  const size_t units = length / 2;
  size_t at = 0;
  for (int f = 0; f < kGd3FieldCount; ++f) {
    std::u16string s;
    for (;;) {
      if (at == units) {
        *error = "GD3 tag ends inside its " + std::string(Gd3FieldName(f)) + " string (" +
                 std::to_string(f) + " of 11 strings complete)";
        return false;
      }
      const char16_t u = static_cast<char16_t>(p[2 * at] | p[2 * at + 1] << 8);
      ++at;
      if (u == 0) break;
      s += u;
    }
    tag->fields[f] = Utf16ToUtf8(s);
  }
  if (at != units) {
    *error = "GD3 tag has " + std::to_string(2 * (units - at)) + " bytes after its 11 strings";
    return false;
  }
  *used = kGd3HeaderSize + length;
  return true;
}

}  // namespace opl2::vgm
