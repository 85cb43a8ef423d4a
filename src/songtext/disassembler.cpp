#include "songtext/disassembler.h"

#include <vector>

#include "analysis/song_layout.h"
#include "analysis/track_events.h"
#include "song/event_table.h"
#include "song/song_format.h"
#include "songtext/notes.h"
#include "songtext/patch_fields.h"

namespace opl2::songtext {
namespace {

using namespace analysis;  // the binary layout and events the source shows

constexpr int kBytesPerDataLine = 16;
// Rows of a track share a line until it is this long.
constexpr size_t kRowsLineWidth = 56;

std::string Hex(int b) {
  const char* d = "0123456789ABCDEF";
  return std::string{d[(b >> 4) & 15], d[b & 15]};
}

std::string HexList(std::span<const uint8_t> bytes) {
  std::string s;
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (i != 0) s += ' ';
    s += Hex(bytes[i]);
  }
  return s;
}

std::string RawComment(const TrackEvent& e, bool paired_form) {
  if (e.truncated) return "cut short by the end of the track";
  switch (e.code) {
    case EV_RESERVED_FE:
    case EV_RESERVED_F4:
    case EV_RESERVED_F3:
    case EV_RESERVED_F2:
    case EV_RESERVED_F1:
    case EV_RESERVED_DF:
      return "reserved code, no effect";
    case EV_LOOP_START:
      return paired_form ? "loop start never closed" : "loop start with operand bytes";
    case EV_LOOP_END:
      if (e.op[0] == 0) return "loop end with count 0";
      return paired_form ? "loop end with no loop open" : "loop end with operand bytes";
    case EV_SLIDE:
      return "slide whose start or end is not a note";
    default:
      break;
  }
  if (e.code <= 0x7F) return "not a note: skipped with its length byte";
  return "unknown code, skipped with one byte";
}

class Writer {
 public:
  Writer(std::span<const uint8_t> file, const TextSink& sink)
      : file_(file), layout_(ReadLayout(file)), sink_(sink) {}

  void Run() {
    if (!layout_.is_song || !layout_.full_header) {
      Raw();
    } else if (layout_.compact) {
      Compact();
    } else {
      Explicit();
    }
    Pass();
  }

 private:
  // Hands the text so far to the sink: a huge file's text is never whole.
  void Pass() {
    if (!out_.empty()) sink_(out_);
    out_.clear();
  }
  void PassWhenLong() {
    if (out_.size() >= (1u << 16)) Pass();
  }

  void Line(int indent, const std::string& text) {
    PassWhenLong();
    out_.append(static_cast<size_t>(indent) * 2, ' ');
    out_ += text;
    out_ += '\n';
  }

  void Raw() {
    out_ += "; Disassembled by opl2tool: " + std::to_string(file_.size()) + " bytes, ";
    if (file_.empty()) {
      out_ += "an empty file (not a song).\n";
    } else if (!layout_.is_song) {
      out_ += "not a song (the first byte is " + Hex(file_[0]) + ", not 02).\n";
    } else {
      out_ += "shorter than the 27-byte header.\n";
    }
    out_ += "layout raw\nsize " + std::to_string(file_.size()) + "\n";
    if (!file_.empty()) Data(0, static_cast<int>(file_.size()));
  }

  void Compact() {
    out_ +=
        "; Disassembled by opl2tool: " + std::to_string(file_.size()) + " bytes, compact layout.\n";
    Reserved();
    Instruments();
    for (int c = 0; c < kChannelCount; ++c) {
      const TrackRange& t = layout_.tracks[static_cast<size_t>(c)];
      out_ += "\nchannel " + std::to_string(c) + " {\n";
      Track(file_.subspan(static_cast<size_t>(t.start), static_cast<size_t>(t.length)));
      out_ += "}\n";
    }
  }

  void Explicit() {
    out_ += "; Disassembled by opl2tool: " + std::to_string(file_.size()) +
            " bytes, not in the compact layout.\n";
    out_ += "layout explicit\nsize " + std::to_string(file_.size()) + "\nbounds";
    for (int b : layout_.track_bound) out_ += " " + std::to_string(b);
    out_ += "\n";
    Reserved();
    out_ += "bank_bound " + std::to_string(layout_.bank_bound) + "\n";
    std::vector<bool> covered(file_.size(), false);
    auto cover = [&](int from, int to) {
      for (int o = std::max(from, 0); o < to && o < static_cast<int>(covered.size()); ++o) {
        covered[static_cast<size_t>(o)] = true;
      }
    };
    cover(0, kHeaderSize);
    if (!layout_.records.empty()) {
      out_ += "bank at " + std::to_string(layout_.bank_bound + 1);
      out_ += layout_.bank_terminated ? "\n" : " unterminated  ; the file ends first\n";
      cover(layout_.bank_bound + 1, layout_.bank_end);
    }
    Instruments();
    for (int c = 0; c < kChannelCount; ++c) {
      const TrackRange& t = layout_.tracks[static_cast<size_t>(c)];
      if (t.length == 0) {
        out_ += "\n; channel " + std::to_string(c) + ": empty track\n";
        continue;
      }
      out_ += "\nchannel " + std::to_string(c) + " at " + std::to_string(t.start) + " {";
      if (t.in_file < t.length) {
        out_ += "  ; " + std::to_string(t.length - t.in_file) +
                " of its bytes lie past the end of the file";
      }
      out_ += "\n";
      if (t.in_file > 0) {
        Track(file_.subspan(static_cast<size_t>(t.start), static_cast<size_t>(t.in_file)));
      }
      out_ += "}\n";
      cover(t.start, t.start + t.in_file);
    }
    for (size_t o = 0; o < covered.size();) {
      if (covered[o]) {
        ++o;
        continue;
      }
      size_t end = o;
      while (end < covered.size() && !covered[end]) ++end;
      out_ += "\n";
      Data(static_cast<int>(o), static_cast<int>(end));
      o = end;
    }
  }

  void Reserved() {
    const auto& r = layout_.reserved;
    if (!layout_.compact || r[0] || r[1] || r[2] || r[3]) {
      out_ += "reserved [" + HexList(r) + "]\n";
    }
  }

  void Data(int from, int to) {
    out_ += "data at " + std::to_string(from) + " [\n";
    for (int o = from; o < to; o += kBytesPerDataLine) {
      const int n = std::min(kBytesPerDataLine, to - o);
      Line(1, HexList(file_.subspan(static_cast<size_t>(o), static_cast<size_t>(n))));
    }
    out_ += "]\n";
  }

  void Instruments() {
    for (const BankRecordAt& r : layout_.records) {
      PassWhenLong();
      const InstrumentPatch& p = r.patch;
      const std::string head = "\ninstrument " + std::to_string(r.patch_number);
      if (p[8] > 0x0F) {
        out_ += head + " [" + HexList(p) + "]\n";
        continue;
      }
      out_ += head + " {  ; " + HexList(p) + "\n";
      for (int op = 0; op < 2; ++op) {
        std::string s = op == 0 ? "modulator" : "carrier  ";
        for (const OperatorField& f : kOperatorFields) {
          const int v = GetField(p, f, op);
          if (f.width == 1) {
            if (v != 0) s += std::string(" ") + f.name;
          } else if (v != 0 || std::string_view(f.name) != "ksl") {
            s += std::string(" ") + f.name + "=" + std::to_string(v);
          }
        }
        Line(1, s);
      }
      Line(1, "feedback " + std::to_string((p[8] >> kFeedbackShift) & kFeedbackMax) +
                  " connection " + ((p[8] & 1) != 0 ? "additive" : "fm"));
      out_ += "}\n";
    }
  }

  void Track(std::span<const uint8_t> bytes) {
    const std::vector<TrackEvent> events = SplitTrack(bytes);
    const std::vector<int> partner = PairLoops(events);
    int indent = 1;
    // Events of the current row, and rows waiting to fill a line.
    std::string row;
    std::string line;
    auto end_row = [&] {
      if (!line.empty() && !row.empty()) line += "  ";
      line += row;
      row.clear();
      if (line.size() >= kRowsLineWidth) {
        Line(indent, line);
        line.clear();
      }
    };
    auto flush = [&] {
      end_row();
      if (!line.empty()) Line(indent, line);
      line.clear();
    };
    auto add = [&](const std::string& text) { row += (row.empty() ? "" : " ") + text; };
    for (size_t i = 0; i < events.size(); ++i) {
      const TrackEvent& e = events[i];
      const EventForm form = FormOf(e);
      const bool paired = partner[i] >= 0;
      auto len = [&](int k) { return std::to_string(e.op[k]); };
      switch (form) {
        case EventForm::kLoopStart:
        case EventForm::kLoopEnd:
          if (!paired) break;
          flush();
          if (form == EventForm::kLoopStart) {
            Line(indent,
                 "loop " + std::to_string(events[static_cast<size_t>(partner[i])].op[0]) + " {");
            ++indent;
          } else {
            --indent;
            Line(indent, "}");
          }
          continue;
        case EventForm::kNote:
          add(NoteName(e.code) + " " + len(0));
          end_row();
          continue;
        case EventForm::kRest:
          add("r " + len(0));
          end_row();
          continue;
        case EventForm::kSlide:
          add("slide " + NoteName(e.op[0]) + " " + NoteName(e.op[1]) + " " + len(2));
          end_row();
          continue;
        case EventForm::kEnd:
          add("end");
          flush();
          continue;
        case EventForm::kTie:
          add("tie");
          continue;
        case EventForm::kInstrument:
          add("inst " + len(0));
          continue;
        case EventForm::kVolume:
          add("vol " + len(0));
          continue;
        case EventForm::kTempo:
          add("tempo " + len(0));
          continue;
        case EventForm::kDetune:
          add("detune " + std::to_string(static_cast<int16_t>(e.op[0] | (e.op[1] << 8))));
          continue;
        case EventForm::kLoopPoint:
          add("loop_point");
          continue;
        case EventForm::kRaw:
          break;
      }
      flush();
      Line(indent,
           "[" +
               HexList(bytes.subspan(static_cast<size_t>(e.offset), static_cast<size_t>(e.size))) +
               "]  ; " +
               RawComment(e, form == EventForm::kLoopStart || form == EventForm::kLoopEnd));
    }
    flush();
  }

  std::span<const uint8_t> file_;
  SongLayout layout_;
  const TextSink& sink_;
  std::string out_;
};

}  // namespace

void Disassemble(std::span<const uint8_t> file, const TextSink& sink) {
  Writer(file, sink).Run();
}

std::string Disassemble(std::span<const uint8_t> file) {
  std::string text;
  Disassemble(file, [&text](std::string_view part) { text += part; });
  return text;
}

}  // namespace opl2::songtext
