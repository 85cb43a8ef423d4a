// The one option parser of every opl2tool command (getopt_long underneath):
// `--opt=value` and `--opt value`, `-o value` and `-ovalue`, `--` before
// positionals that start with '-', `-` as an ordinary positional (standard
// input or output), options after positionals. An unknown option, a missing
// value, a value given to a flag and an option given twice are errors that
// name the option. Every error prints one line "opl2tool CMD: ..." on
// standard error; the command then exits with status 2.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

namespace opl2tool {

struct OptionDef {
  const char* name;        // long name without "--" (may be null for a short-only option)
  char short_name;         // 0 for none
  const char* value_name;  // null for a flag, else what the value is ("N", "FILE")
};

class CommandLine {
 public:
  // `--help` and `-h` are known to every command.
  CommandLine(const char* command, std::initializer_list<OptionDef> options);

  // Parses the arguments after the command's name (argv[0] is the name).
  // False after printing the reason.
  bool Parse(int argc, char** argv);

  bool help() const { return help_; }
  const std::vector<std::string>& positionals() const { return positionals_; }

  // The option by its long name (or its short letter, as a one-letter string).
  bool Has(const std::string& name) const;
  // Its value; null when it was not given.
  const std::string* Value(const std::string& name) const;
  // The value as a whole number within [min, max] (the default when absent).
  // False after printing the reason.
  bool Integer(const std::string& name, int64_t min, int64_t max, int64_t* out) const;
  // The value as a decimal number within [min, max].
  bool Number(const std::string& name, double min, double max, double* out) const;

  // Exactly `min`..`max` positionals; else prints "CMD: ..." and returns false.
  bool Positionals(size_t min, size_t max, const char* what) const;

  // Prints "opl2tool CMD: message" on standard error.
  void Error(const std::string& message) const;

  const char* command() const { return command_; }
  const std::vector<OptionDef>& options() const { return options_; }

 private:
  const OptionDef* Find(const std::string& name) const;
  std::string Shown(const OptionDef& def) const;

  const char* command_;
  std::vector<OptionDef> options_;
  std::vector<std::pair<const OptionDef*, std::optional<std::string>>> given_;
  std::vector<std::string> positionals_;
  bool help_ = false;
};

}  // namespace opl2tool
