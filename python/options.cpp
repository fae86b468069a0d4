#include "options.h"

#include <cmath>
#include <string_view>
#include <utility>
#include <vector>

namespace kv::python {

namespace {

// The command's options and the names of the keyword arguments that carry them.
constexpr std::pair<std::string_view, std::string_view> kKeywords[] = {
    {"--no-least-squares", "least_squares"}, {"--target-gci", "target_gci"}, {"--threads", "threads"},
    {"--order", "order"}, {"--noise", "noise"}, {"--cells", "cells"}, {"--field", "field"},
    {"--dim", "dim"}, {"--fs", "fs"},
};

}  // namespace

std::string keywordMessage(std::string message) {
  for (const auto& [option, keyword] : kKeywords) {
    for (size_t at = message.find(option); at != std::string::npos; at = message.find(option, at + keyword.size())) {
      message.replace(at, option.size(), keyword);
    }
  }
  return message;
}

namespace {

// The first line of the parser's message without the program's name, with the keywords.
std::string parserMessage(const std::string& err) {
  std::string line = err.substr(0, err.find('\n'));
  const std::string program = std::string(study::programName(study::Arguments::Command::Study)) + ": error: ";
  if (line.rfind(program, 0) == 0) line.erase(0, program.size());
  return keywordMessage(line);
}

}  // namespace

std::string numberText(double value) {
  if (std::isnan(value)) return "nan";
  if (std::isinf(value)) return value > 0 ? "inf" : "-inf";
  return study::shortest(value);
}

study::Arguments commandArguments(const OptionValues& v, const std::string& caseFile) {
  std::vector<std::string> args{"kestrovanilque", "study"};
  auto add = [&](const char* option, const std::optional<double>& value) {
    if (value) args.push_back(std::string(option) + "=" + numberText(*value));
  };
  add("--order", v.order);
  add("--fs", v.fs);
  add("--target-gci", v.targetGci);
  add("--noise", v.noise);
  if (!v.leastSquares) args.push_back("--no-least-squares");
  if (v.cells) args.push_back("--cells");
  if (v.dimension) args.push_back("--dim=" + std::to_string(*v.dimension));
  if (v.threads) args.push_back("--threads=" + std::to_string(*v.threads));
  if (v.field) args.push_back("--field");
  // The case after "--": a file whose name starts with '-' is not an option.
  args.insert(args.end(), {"--", caseFile});
  std::vector<const char*> argv;
  for (const std::string& a : args) argv.push_back(a.c_str());
  study::ParsedCommand parsed = study::parseCommand(static_cast<int>(argv.size()), argv.data());
  if (!parsed.arguments) throw OptionError(parserMessage(parsed.err));
  return std::move(*parsed.arguments);
}

}  // namespace kv::python
