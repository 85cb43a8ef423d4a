// Messages about a song source, each tied to a place in it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace opl2::songtext {

struct SourcePos {
  int line = 1;    // 1-based
  int column = 1;  // 1-based, in bytes
};

struct Diagnostic {
  SourcePos pos;
  bool warning = false;
  std::string message;
};

// "file:line:column: message" (with "warning: " before warnings).
std::string FormatDiagnostic(const std::string& file, const Diagnostic& d);

// Collects messages in the order they are found, or hands each to a sink as
// it is found (then none are kept, so a huge source costs no memory here).
class Diagnostics {
 public:
  using Sink = std::function<void(const Diagnostic&)>;
  Diagnostics() = default;
  explicit Diagnostics(Sink sink) : sink_(std::move(sink)) {}

  void Error(SourcePos pos, std::string message) {
    ++errors_;
    Add({pos, false, std::move(message)});
  }
  void Warning(SourcePos pos, std::string message) {
    ++warnings_;
    Add({pos, true, std::move(message)});
  }
  int64_t error_count() const { return errors_; }
  int64_t warning_count() const { return warnings_; }
  // In the order they were found (empty with a sink).
  const std::vector<Diagnostic>& list() const { return list_; }

 private:
  void Add(Diagnostic d) {
    if (sink_) {
      sink_(d);
    } else {
      list_.push_back(std::move(d));
    }
  }

  Sink sink_;
  std::vector<Diagnostic> list_;
  int64_t errors_ = 0;
  int64_t warnings_ = 0;
};

}  // namespace opl2::songtext
