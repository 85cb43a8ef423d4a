// A small command-line walker shared by the subcommands: options with
// values, numbers in a range, positionals, and one clear message per error.
#pragma once

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace opl2tool {

inline bool ParseInteger(const char* text, int* out, long min, long max) {
  char* end = nullptr;
  errno = 0;
  const long v = std::strtol(text, &end, 10);
  if (errno != 0 || end == text || *end != '\0' || v < min || v > max) return false;
  *out = static_cast<int>(v);
  return true;
}

inline bool ParseNumber(const char* text, double* out, double min, double max) {
  char* end = nullptr;
  errno = 0;
  const double v = std::strtod(text, &end);
  if (errno != 0 || end == text || *end != '\0' || !std::isfinite(v) || v < min || v > max) {
    return false;
  }
  *out = v;
  return true;
}

class OptionParser {
 public:
  OptionParser(const char* command, int argc, char** argv)
      : command_(command), argc_(argc), argv_(argv) {}

  // Moves to the next argument; false when there is none.
  bool Next() { return ++index_ < argc_; }
  bool Is(const char* name) const { return std::strcmp(argv_[index_], name) == 0; }
  const char* current() const { return argv_[index_]; }

  bool Value(std::string* out) {
    const char* v = TakeValue();
    if (v == nullptr) return false;
    *out = v;
    return true;
  }
  bool Integer(int* out, long min, long max) {
    const char* name = argv_[index_];
    const char* v = TakeValue();
    if (v == nullptr) return false;
    if (ParseInteger(v, out, min, max)) return true;
    std::fprintf(stderr, "opl2tool %s: %s takes a whole number from %ld to %ld, not '%s'\n",
                 command_, name, min, max, v);
    return false;
  }
  bool Number(double* out, double min, double max) {
    const char* name = argv_[index_];
    const char* v = TakeValue();
    if (v == nullptr) return false;
    if (ParseNumber(v, out, min, max)) return true;
    std::fprintf(stderr, "opl2tool %s: %s takes a number from %g to %g, not '%s'\n", command_, name,
                 min, max, v);
    return false;
  }
  // Takes the argument as the one positional; an option or a second one is an error.
  bool Positional(const char** out) {
    const char* arg = argv_[index_];
    if (arg[0] == '-' && arg[1] != '\0') {
      std::fprintf(stderr, "opl2tool %s: unknown option '%s' (see --help)\n", command_, arg);
      return false;
    }
    if (*out != nullptr) {
      std::fprintf(stderr, "opl2tool %s: unexpected argument '%s'\n", command_, arg);
      return false;
    }
    *out = arg;
    return true;
  }

 private:
  const char* TakeValue() {
    if (index_ + 1 >= argc_) {
      std::fprintf(stderr, "opl2tool %s: %s needs a value\n", command_, argv_[index_]);
      return nullptr;
    }
    return argv_[++index_];
  }

  const char* command_;
  int argc_;
  char** argv_;
  int index_ = 0;
};

}  // namespace opl2tool
