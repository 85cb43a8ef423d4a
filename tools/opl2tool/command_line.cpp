#include "command_line.h"

#include <getopt.h>

#include <cerrno>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace opl2tool {
namespace {

constexpr int kLongBase = 256;  // getopt value of long option i: kLongBase + i

}  // namespace

CommandLine::CommandLine(const char* command, std::initializer_list<OptionDef> options)
    : command_(command), options_(options) {}

void CommandLine::Error(const std::string& message) const {
  std::fprintf(stderr, "opl2tool %s: %s\n", command_, message.c_str());
}

std::string CommandLine::Shown(const OptionDef& def) const {
  if (def.name != nullptr) return std::string("--") + def.name;
  return std::string("-") + def.short_name;
}

const OptionDef* CommandLine::Find(const std::string& name) const {
  for (const OptionDef& o : options_) {
    if ((o.name != nullptr && name == o.name) ||
        (o.short_name != 0 && name.size() == 1 && name[0] == o.short_name)) {
      return &o;
    }
  }
  return nullptr;
}

bool CommandLine::Parse(int argc, char** argv) {
  std::string short_opts = ":h";
  std::vector<option> long_opts;
  for (size_t i = 0; i < options_.size(); ++i) {
    const OptionDef& o = options_[i];
    const int has_arg = o.value_name != nullptr ? required_argument : no_argument;
    if (o.short_name != 0) {
      short_opts += o.short_name;
      if (has_arg == required_argument) short_opts += ':';
    }
    if (o.name != nullptr) {
      long_opts.push_back({o.name, has_arg, nullptr, kLongBase + static_cast<int>(i)});
    }
  }
  long_opts.push_back({"help", no_argument, nullptr, 'h'});
  long_opts.push_back({nullptr, 0, nullptr, 0});

  optind = 0;  // start afresh (glibc)
  opterr = 0;  // every message is ours
  for (;;) {
    const int c = getopt_long(argc, argv, short_opts.c_str(), long_opts.data(), nullptr);
    if (c == -1) break;
    if (c == 'h') {
      help_ = true;
      continue;
    }
    const OptionDef* def = nullptr;
    if (c == '?' || c == ':') {
      const int which = optopt;
      if (which >= kLongBase) {
        def = &options_[static_cast<size_t>(which - kLongBase)];
      } else if (which != 0) {
        def = Find(std::string(1, static_cast<char>(which)));
      }
      if (c == ':' && def != nullptr) {
        Error(Shown(*def) + " needs a value (" + def->value_name + ")");
      } else if (def != nullptr) {
        Error(Shown(*def) + " takes no value");
      } else {
        std::string arg = which != 0 ? std::string("-") + static_cast<char>(which)
                                     : std::string(argv[optind - 1]);
        arg = arg.substr(0, arg.find('='));
        Error("unknown option '" + arg + "' (see --help)");
      }
      return false;
    }
    def = c >= kLongBase ? &options_[static_cast<size_t>(c - kLongBase)]
                         : Find(std::string(1, static_cast<char>(c)));
    if (def == nullptr) {
      Error("unknown option (see --help)");
      return false;
    }
    for (const auto& g : given_) {
      if (g.first == def) {
        Error(Shown(*def) + " is given twice");
        return false;
      }
    }
    given_.emplace_back(def, def->value_name != nullptr
                                 ? std::optional<std::string>(optarg != nullptr ? optarg : "")
                                 : std::nullopt);
  }
  for (int i = optind; i < argc; ++i) positionals_.emplace_back(argv[i]);
  return true;
}

bool CommandLine::Has(const std::string& name) const {
  const OptionDef* def = Find(name);
  for (const auto& g : given_) {
    if (g.first == def) return true;
  }
  return false;
}

const std::string* CommandLine::Value(const std::string& name) const {
  const OptionDef* def = Find(name);
  for (const auto& g : given_) {
    if (g.first == def && g.second) return &*g.second;
  }
  return nullptr;
}

bool CommandLine::Integer(const std::string& name, int64_t min, int64_t max, int64_t* out) const {
  const std::string* text = Value(name);
  if (text == nullptr) return true;
  char* end = nullptr;
  errno = 0;
  const long long v = std::strtoll(text->c_str(), &end, 10);
  if (errno != 0 || end == text->c_str() || *end != '\0' || v < min || v > max) {
    Error(Shown(*Find(name)) + " takes a whole number from " + std::to_string(min) + " to " +
          std::to_string(max) + ", not '" + *text + "'");
    return false;
  }
  *out = v;
  return true;
}

bool CommandLine::Number(const std::string& name, double min, double max, double* out) const {
  const std::string* text = Value(name);
  if (text == nullptr) return true;
  char* end = nullptr;
  errno = 0;
  const double v = std::strtod(text->c_str(), &end);
  if (errno != 0 || end == text->c_str() || *end != '\0' || !std::isfinite(v) || v < min ||
      v > max) {
    char range[96];
    std::snprintf(range, sizeof range, "a number from %g to %g", min, max);
    Error(Shown(*Find(name)) + " takes " + range + ", not '" + *text + "'");
    return false;
  }
  *out = v;
  return true;
}

bool CommandLine::Positionals(size_t min, size_t max, const char* what) const {
  if (positionals_.size() < min) {
    Error(std::string("needs ") + what + " (see --help)");
    return false;
  }
  if (positionals_.size() > max) {
    Error("unexpected argument '" + positionals_[max] + "' (see --help)");
    return false;
  }
  return true;
}

}  // namespace opl2tool
