#include "songtext/source_parser.h"

#include <cctype>
#include <map>
#include <string>

#include "song/event_table.h"
#include "songtext/notes.h"
#include "songtext/patch_fields.h"
#include "songtext/token_reader.h"

namespace opl2::songtext {
namespace {

constexpr const char* kFieldList =
    "mult, level, ksl, attack, decay, sustain, release, tremolo, vibrato, sustaining, ksr";

class Parser : private TokenReader {
 public:
  Parser(std::string_view source, Diagnostics& diag, SourceModel& model)
      : TokenReader(source, diag), m_(model) {}

  void ParseFile() {
    while (Peek().kind != Token::kEnd) Statement();
  }

 private:
  template <typename T>
  void SetOnce(Stated<T>& field, const Token& at, T value) {
    if (field.value) {
      Fail(at, "'" + at.text + "' is already given at line " + std::to_string(field.pos.line));
    }
    field.value = value;
    field.pos = at.pos;
  }

  static bool IsTopLevelWord(const Token& tok) {
    static const char* const kWords[] = {"channel", "instrument", "data", "layout",
                                         "bounds",  "bank_bound", "size", "bank",
                                         "format",  "reserved",   "const"};
    if (tok.kind != Token::kWord) return false;
    for (const char* w : kWords) {
      if (tok.text == w) return true;
    }
    return false;
  }

  void Statement() {
    const Token head = Peek();
    if (IsP(head, '}')) {
      diag_.Error(head.pos, "'}' without a block to close");
      Next();
      return;
    }
    try {
      if (head.kind != Token::kWord) Fail(head, "expected a statement, found " + Show(head));
      Next();
      const std::string& w = head.text;
      if (w == "layout") {
        const Token kind = Next();
        Layout l;
        if (IsW(kind, "compact")) {
          l = Layout::kCompact;
        } else if (IsW(kind, "explicit")) {
          l = Layout::kExplicit;
        } else if (IsW(kind, "raw")) {
          l = Layout::kRaw;
        } else {
          Fail(kind, "layout is compact, explicit or raw, not " + Show(kind));
        }
        SetOnce(m_.layout, head, l);
      } else if (w == "format") {
        SetOnce(m_.format, head, Value(0, 255, "the format byte"));
      } else if (w == "reserved") {
        const std::vector<uint8_t> b = ByteList();
        if (b.size() != 4) Fail(head, "reserved takes exactly 4 bytes");
        SetOnce(m_.reserved, head, std::array<uint8_t, 4>{b[0], b[1], b[2], b[3]});
      } else if (w == "bounds") {
        std::array<int, kTrackBoundCount> b{};
        for (int& v : b) v = Value(0, 65535, "a track bound");
        SetOnce(m_.bounds, head, b);
      } else if (w == "bank_bound") {
        SetOnce(m_.bank_bound, head, Value(0, 65535, "bank_bound"));
      } else if (w == "size") {
        SetOnce(m_.size, head, Value(0, kMaxFileSize, "the file size"));
      } else if (w == "bank") {
        if (!IsW(Peek(), "at")) Fail(Peek(), "expected 'at' after 'bank'");
        Next();
        SetOnce(m_.bank_at, head, Value(0, kMaxFileSize, "the bank offset"));
        if (IsW(Peek(), "unterminated")) {
          Next();
          m_.bank_unterminated = true;
        }
      } else if (w == "const") {
        Const();
      } else if (w == "instrument") {
        Instrument(head);
      } else if (w == "channel") {
        Channel(head);
      } else if (w == "data") {
        PlacedBytes p;
        p.pos = head.pos;
        if (!IsW(Peek(), "at")) Fail(Peek(), "expected 'at' after 'data'");
        Next();
        p.at = Value(0, kMaxFileSize, "the data offset");
        p.bytes = ByteList();
        m_.data.push_back(std::move(p));
      } else {
        Fail(head, "unknown statement '" + w + "'");
      }
    } catch (Failed&) {
      RecoverStatement();
    }
  }

  // After an error in a statement: go on at the next statement, skipping
  // any block the failed one opened (but a statement word ends the skip even
  // inside an unclosed block, as it ends an unclosed block when parsing).
  void RecoverStatement() {
    int depth = 0;
    while (Peek().kind != Token::kEnd && !IsTopLevelWord(Peek())) {
      if (IsP(Peek(), '{')) ++depth;
      if (IsP(Peek(), '}')) {
        if (depth == 0) {
          diag_.Error(Peek().pos, "'}' without a block to close");
        } else {
          --depth;
        }
      }
      Next();
    }
  }

  void Const() {
    const Token name = Next();
    if (name.kind != Token::kWord || !IsName(name.text) || LooksLikeNoteName(name.text)) {
      Fail(name,
           "expected a constant name (letters, digits, '_'; not a note name), found " + Show(name));
    }
    if (consts_.count(name.text) != 0)
      Fail(name, "constant '" + name.text + "' is already defined");
    ExpectP('=', "'='");
    consts_[name.text] = Sum();
  }

  void Instrument(const Token& head) {
    InstrumentDef def;
    def.pos = head.pos;
    def.number = Value(0, 255, "an instrument number");
    if (Peek().kind == Token::kWord) {
      const Token name = Next();
      if (!IsName(name.text)) Fail(name, "bad instrument name " + Show(name));
      instrument_names_[name.text] = def.number;
    }
    if (IsP(Peek(), '[')) {
      const std::vector<uint8_t> b = ByteList();
      if (b.size() != kPatchSize) Fail(head, "an instrument has exactly 9 bytes");
      std::copy(b.begin(), b.end(), def.patch.begin());
    } else {
      const Token open = Peek();
      ExpectP('{', "'{' or '[' after the instrument number");
      InstrumentBody(def.patch, open);
    }
    m_.instruments.push_back(def);
  }

  void InstrumentBody(InstrumentPatch& patch, const Token& open) {
    for (;;) {
      const Token head = Peek();
      if (IsP(head, '}')) {
        Next();
        return;
      }
      if (head.kind == Token::kEnd) {
        diag_.Error(open.pos, "instrument block is never closed by '}'");
        return;
      }
      try {
        Next();
        if (IsW(head, "bytes")) {
          const std::vector<uint8_t> b = ByteList();
          if (b.size() != kPatchSize) Fail(head, "an instrument has exactly 9 bytes");
          std::copy(b.begin(), b.end(), patch.begin());
        } else if (IsW(head, "modulator") || IsW(head, "mod") || IsW(head, "carrier") ||
                   IsW(head, "car")) {
          OperatorFields(patch, head.text[0] == 'm' ? 0 : 1);
        } else if (IsW(head, "feedback")) {
          const int fb = Value(0, kFeedbackMax, "feedback");
          patch[8] = static_cast<uint8_t>((patch[8] & ~0x0E) | (fb << kFeedbackShift));
        } else if (IsW(head, "connection")) {
          const Token kind = Next();
          int bit = 0;
          if (IsW(kind, "fm")) {
            bit = 0;
          } else if (IsW(kind, "additive")) {
            bit = 1;
          } else {
            Fail(kind, "connection is fm or additive, not " + Show(kind));
          }
          patch[8] = static_cast<uint8_t>((patch[8] & ~1) | bit);
        } else {
          Fail(head, "unknown instrument field " + Show(head) +
                         " (bytes, modulator, carrier, feedback, connection)");
        }
      } catch (Failed&) {
        Recover(head.pos.line);
      }
    }
  }

  void OperatorFields(InstrumentPatch& patch, int op) {
    while (Peek().kind == Token::kWord) {
      const OperatorField* f = FindOperatorField(Peek().text);
      if (f == nullptr) {
        // The next statement of the instrument ends the list; any other
        // word is a mistake.
        const std::string& w = Peek().text;
        if (w == "bytes" || w == "modulator" || w == "mod" || w == "carrier" || w == "car" ||
            w == "feedback" || w == "connection") {
          return;
        }
        Fail(Peek(), "unknown operator field " + Show(Peek()) + " (" + kFieldList + ")");
      }
      const Token name = Next();
      int value = 1;
      if (IsP(Peek(), '=')) {
        Next();
        value = Value(0, FieldMax(*f), name.text);
      } else if (f->width != 1) {
        Fail(name, "'" + name.text + "' needs a value: " + name.text + "=N");
      }
      SetField(patch, *f, op, value);
    }
  }

  void Channel(const Token& head) {
    const int c = Value(0, kChannelCount - 1, "the channel number");
    PlacedBytes p;
    p.pos = head.pos;
    if (IsW(Peek(), "at")) {
      Next();
      p.at = Value(0, kMaxFileSize, "the track offset");
    }
    const Token open = Peek();
    ExpectP('{', "'{' to open the channel's events");
    loop_point_depth_ = -1;
    Events(p.bytes, 0, open);
    if (m_.channels[static_cast<size_t>(c)]) {
      diag_.Error(head.pos, "channel " + std::to_string(c) + " is already given at line " +
                                std::to_string(m_.channels[static_cast<size_t>(c)]->pos.line));
      return;
    }
    m_.channels[static_cast<size_t>(c)] = std::move(p);
  }

  // Events up to and including the closing '}'.
  void Events(std::vector<uint8_t>& out, int depth, const Token& open) {
    for (;;) {
      const Token tok = Peek();
      if (IsP(tok, '}')) {
        Next();
        return;
      }
      if (tok.kind == Token::kEnd) {
        diag_.Error(open.pos, "'{' is never closed by '}'");
        return;
      }
      if (IsTopLevelWord(tok)) {
        diag_.Error(open.pos, "'{' is never closed by '}' (line " + std::to_string(tok.pos.line) +
                                  " starts a new '" + tok.text + "')");
        return;
      }
      const int line = tok.pos.line;
      try {
        Event(out, depth);
      } catch (Failed&) {
        Recover(line);
      }
    }
  }

  uint8_t NoteOperand() {
    const Token tok = Peek();
    if (tok.kind == Token::kWord) {
      if (const auto code = ParseNoteName(tok.text)) {
        Next();
        return *code;
      }
    }
    Fail(tok, "expected a note such as C4, F#3 or Bb5, found " + Show(tok));
  }

  void Event(std::vector<uint8_t>& out, int depth) {
    const Token head = Peek();
    if (IsP(head, '[')) {
      const std::vector<uint8_t> b = ByteList();
      out.insert(out.end(), b.begin(), b.end());
      return;
    }
    if (head.kind != Token::kWord) Fail(head, "expected an event, found " + Show(head));
    Next();
    const std::string& w = head.text;
    auto u8 = [](int v) { return static_cast<uint8_t>(v & 0xFF); };
    if (const auto code = ParseNoteName(w)) {
      const int len = Value(0, 255, "a note length");
      out.insert(out.end(), {*code, u8(len)});
    } else if (LooksLikeNoteName(w)) {
      Fail(head, "'" + w + "' is not a note: octaves run from 0 to 7, and Cb and B# are not used");
    } else if (w.size() <= 3 && std::isalpha(static_cast<unsigned char>(w[0])) &&
               std::isdigit(static_cast<unsigned char>(w.back())) && w != "r") {
      Fail(head,
           "'" + w + "' is not a note name: a letter A..G, then # or b, then the octave 0..7");
    } else if (w == "r" || w == "rest") {
      const int len = Value(0, 255, "a rest length");
      out.insert(out.end(), {EV_REST, u8(len)});
    } else if (w == "tie") {
      out.push_back(EV_TIE);
    } else if (w == "slide") {
      const uint8_t from = NoteOperand();
      const uint8_t to = NoteOperand();
      const int len = Value(0, 255, "a slide length");
      out.insert(out.end(), {EV_SLIDE, from, to, u8(len)});
    } else if (w == "inst") {
      int patch = 0;
      const Token at = Peek();
      const auto named = instrument_names_.find(at.text);
      if (at.kind == Token::kWord && named != instrument_names_.end()) {
        Next();
        patch = named->second;
      } else if (at.kind == Token::kWord && IsName(at.text) && consts_.count(at.text) == 0) {
        Fail(at, "unknown instrument '" + at.text + "' (name it in its 'instrument N " + at.text +
                     "' line, before the channels that use it)");
      } else {
        patch = Value(0, 255, "an instrument number");
      }
      auto& first_use = m_.instrument_first_use[static_cast<size_t>(patch)];
      if (!first_use) first_use = at.pos;
      out.insert(out.end(), {EV_SET_INSTRUMENT, u8(patch)});
    } else if (w == "vol") {
      const Token at = Peek();
      const int v = Value(0, 255, "a volume");
      if (v > 127) diag_.Warning(at.pos, "volumes above 127 act as 127 on most patches");
      out.insert(out.end(), {EV_VOLUME, u8(v)});
    } else if (w == "tempo") {
      out.insert(out.end(), {EV_TEMPO, u8(Value(0, 255, "a tempo (Timer B value)"))});
    } else if (w == "detune") {
      const int d = Value(-32768, 65535, "a detune");
      out.insert(out.end(), {EV_DETUNE, u8(d), u8(d >> 8)});
    } else if (w == "loop") {
      const int count = Value(1, 255, "a loop count");
      const Token open = Peek();
      ExpectP('{', "'{' to open the loop body");
      if (depth + 1 > kMaxLoopNesting) Fail(head, "loops nest at most 255 deep");
      out.insert(out.end(), {EV_LOOP_START, 0, 0});
      Events(out, depth + 1, open);
      out.insert(out.end(), {EV_LOOP_END, u8(count), 0, 0, 0});
    } else if (w == "loop_point") {
      out.push_back(EV_LOOP_POINT);
      loop_point_depth_ = depth;
    } else if (w == "end") {
      if (loop_point_depth_ >= 0 && depth > loop_point_depth_) {
        diag_.Warning(head.pos,
                      "'end' inside a loop opened after 'loop_point': every pass back to the "
                      "loop point leaves the loop open, until the 256th open loop stops the "
                      "channel (close the loop before 'end')");
      }
      out.push_back(EV_END);
    } else {
      Fail(head, "unknown event '" + w + "'");
    }
  }

  SourceModel& m_;
  std::map<std::string, int> instrument_names_;
  int loop_point_depth_ = -1;  // loop depth of the channel's loop point; -1: none yet
};

}  // namespace

SourceModel ParseSource(std::string_view source, Diagnostics& diag) {
  SourceModel model;
  Parser parser(source, diag, model);
  parser.ParseFile();
  return model;
}

}  // namespace opl2::songtext
