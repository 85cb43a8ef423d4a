// Messages about a song source, each tied to a place in it.
#pragma once

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

class Diagnostics {
 public:
  void Error(SourcePos pos, std::string message) {
    list_.push_back({pos, false, std::move(message)});
    ++errors_;
  }
  void Warning(SourcePos pos, std::string message) {
    list_.push_back({pos, true, std::move(message)});
  }
  int error_count() const { return errors_; }
  // In the order they were found.
  const std::vector<Diagnostic>& list() const { return list_; }

 private:
  std::vector<Diagnostic> list_;
  int errors_ = 0;
};

}  // namespace opl2::songtext
