#include "songtext/diagnostics.h"

namespace opl2::songtext {

std::string FormatDiagnostic(const std::string& file, const Diagnostic& d) {
  return file + ":" + std::to_string(d.pos.line) + ":" + std::to_string(d.pos.column) + ": " +
         (d.warning ? "warning: " : "") + d.message;
}

}  // namespace opl2::songtext
