#include "chip/reg_stream.h"

#include <algorithm>
#include <limits>

namespace opl2 {
namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r';
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Splits a line into blank-separated fields.
std::vector<std::string_view> Fields(std::string_view line) {
  std::vector<std::string_view> fields;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && IsBlank(line[i])) ++i;
    size_t start = i;
    while (i < line.size() && !IsBlank(line[i])) ++i;
    if (i > start) fields.push_back(line.substr(start, i - start));
  }
  return fields;
}

bool ParseHexByte(std::string_view field, uint8_t* out) {
  if (field.size() != 2) return false;
  const int hi = HexDigit(field[0]);
  const int lo = HexDigit(field[1]);
  if (hi < 0 || lo < 0) return false;
  *out = static_cast<uint8_t>(hi * 16 + lo);
  return true;
}

bool ParseCount(std::string_view field, uint64_t* out) {
  if (field.empty()) return false;
  uint64_t n = 0;
  for (char c : field) {
    if (c < '0' || c > '9') return false;
    const uint64_t digit = static_cast<uint64_t>(c - '0');
    if (n > (std::numeric_limits<uint32_t>::max() - digit) / 10) return false;
    n = n * 10 + digit;
  }
  *out = n;
  return true;
}

// Parses one non-comment line; returns an empty string or what is wrong.
std::string ParseLine(std::string_view line, RegCommand* cmd) {
  const std::vector<std::string_view> f = Fields(line);
  if (f[0] == "w") {
    if (f.size() != 3) return "expected 'w RR VV'";
    cmd->kind = RegCommand::Kind::kWrite;
    if (!ParseHexByte(f[1], &cmd->reg)) {
      return "bad register '" + std::string(f[1]) + "' (two hex digits)";
    }
    if (!ParseHexByte(f[2], &cmd->value)) {
      return "bad value '" + std::string(f[2]) + "' (two hex digits)";
    }
    return {};
  }
  if (f[0] == "s") {
    if (f.size() != 2) return "expected 's N'";
    cmd->kind = RegCommand::Kind::kAdvance;
    if (!ParseCount(f[1], &cmd->samples)) {
      return "bad sample count '" + std::string(f[1]) + "' (decimal, 0 to 4294967295)";
    }
    return {};
  }
  return "unknown command '" + std::string(f[0]) + "' (expected 'w' or 's')";
}

}  // namespace

bool ParseRegStream(std::string_view text, RegStream* out, std::string* error) {
  out->commands.clear();
  out->total_samples = 0;
  int line_no = 0;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(pos, end - pos);
    pos = end + 1;
    ++line_no;
    size_t first = 0;
    while (first < line.size() && IsBlank(line[first])) ++first;
    if (first == line.size() || line[first] == '#') continue;
    RegCommand cmd;
    const std::string problem = ParseLine(line.substr(first), &cmd);
    if (!problem.empty()) {
      *error = "line " + std::to_string(line_no) + ": " + problem;
      return false;
    }
    out->total_samples += cmd.samples;
    out->commands.push_back(cmd);
  }
  return true;
}

void RenderRegStream(const RegStream& stream, Chip& chip,
                     const std::function<void(const int16_t* samples, size_t n)>& sink) {
  chip.Reset();
  // The chip's first outputs only cover its input latency: drop them and
  // render as many samples more after the last command.
  int to_drop = Chip::kLatencySamples;
  uint64_t produced = 0;
  int16_t block[kRenderBlock];
  auto advance = [&](uint64_t n) {
    for (; to_drop > 0 && n > 0; --to_drop, --n) chip.Sample();
    while (n > 0) {
      const size_t chunk = n < kRenderBlock ? static_cast<size_t>(n) : kRenderBlock;
      chip.Generate(block, chunk);
      sink(block, chunk);
      n -= chunk;
      produced += chunk;
    }
  };
  for (const RegCommand& cmd : stream.commands) {
    if (cmd.kind == RegCommand::Kind::kWrite) {
      chip.Write(cmd.reg, cmd.value);
    } else {
      advance(cmd.samples);
    }
  }
  while (produced < stream.total_samples) advance(stream.total_samples - produced);
}

void RenderRegStream(const RegStream& stream, Chip& chip, int16_t* out) {
  RenderRegStream(stream, chip, [&out](const int16_t* samples, size_t n) {
    std::copy(samples, samples + n, out);
    out += n;
  });
}

std::vector<int16_t> RenderRegStream(const RegStream& stream) {
  std::vector<int16_t> out(stream.total_samples);
  Chip chip;
  RenderRegStream(stream, chip, out.data());
  return out;
}

}  // namespace opl2
