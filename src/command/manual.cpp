#include "command/manual.h"

#include <cctype>
#include <map>
#include <stdexcept>
#include <vector>

#include "command/arguments.h"

namespace kv::study {

namespace {

using Command = Arguments::Command;

// Each @NAME@ of `text` replaced by its value; a placeholder the template lacks is a fault of the
// template (the build stops).
std::string filledTemplate(std::string_view text, const std::map<std::string, std::string>& values) {
  std::string out(text);
  for (const auto& [name, value] : values) {
    const std::string placeholder = "@" + name + "@";
    const size_t at = out.find(placeholder);
    if (at == std::string::npos) throw std::runtime_error("the template has no " + placeholder);
    out.replace(at, placeholder.size(), value);
  }
  return out;
}

// Text as troff prints it: a backslash escaped, a hyphen that starts a word (an option, a minus)
// a minus sign, and no line taken for a request.
std::string troffText(std::string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\') {
      out += "\\e";
    } else if (text[i] == '-' && (i == 0 || !std::isalnum(static_cast<unsigned char>(text[i - 1])))) {
      out += "\\-";
    } else {
      out += text[i];
    }
  }
  if (!out.empty() && (out.front() == '.' || out.front() == '\'')) out.insert(0, "\\&");
  return out;
}

bool takesValue(const OptionRow& row) { return row.valueKind() != ValueKind::Flag; }

// What an option's value is called, checked: every option that takes a value has a name for it
// or its choices.
std::string_view valueName(const OptionRow& row) {
  if (takesValue(row) && row.choices.empty() && row.value.empty()) {
    throw std::runtime_error(std::string(row.name) + " takes a value but its row names none");
  }
  return row.value;
}

std::vector<const OptionRow*> listed(Command command) {
  std::vector<const OptionRow*> rows;
  for (const OptionRow& row : optionRows()) {
    if (listedInHelp(row, command)) rows.push_back(&row);
  }
  return rows;
}

std::string manOptions(Command command) {
  std::string out;
  for (const OptionRow* row : listed(command)) {
    out += ".TP\n\\fB" + troffText(row->name) + "\\fR";
    if (!row->choices.empty()) {
      std::string choices;
      for (std::string_view choice : row->choices) choices += (choices.empty() ? "" : "|") + std::string(choice);
      out += " \\fI" + troffText(choices) + "\\fR";
    } else if (!valueName(*row).empty()) {
      out += " \\fI" + troffText(row->value) + "\\fR";
    }
    out += "\n" + troffText(optionHelp(*row, command)) + ".";
    if (!row->needs.empty()) out += " Needs \\fB" + troffText(row->needs) + "\\fR.";
    if (command == Command::Study) out += "\nApplies to " + troffText(row->appliesTo) + ".";
    out += "\n";
  }
  return out;
}

std::string words(Command command) {
  std::string out;
  for (const OptionRow* row : listed(command)) out += (out.empty() ? "" : " ") + std::string(row->name);
  return out;
}

// One arm for each text with choices; one for folders, one for files, one for the numbers,
// each the options it covers joined by |.
std::string valueArms() {
  std::string arms, folders, files, numbers;
  auto join = [](std::string& names, std::string_view name) { names += (names.empty() ? "" : "|") + std::string(name); };
  for (const OptionRow& row : optionRows()) {
    if (!takesValue(row)) continue;
    const std::string_view name = valueName(row);
    if (!row.choices.empty()) {
      std::string choices;
      for (std::string_view choice : row.choices) choices += (choices.empty() ? "" : " ") + std::string(choice);
      arms += "        " + std::string(row.name) + ") COMPREPLY=($(compgen -W \"" + choices + "\" -- \"$cur\")); return ;;\n";
    } else if (name == "DIR") {
      join(folders, row.name);
    } else if (name == "FILE") {
      join(files, row.name);
    } else {
      join(numbers, row.name);
    }
  }
  if (!folders.empty()) arms += "        " + folders + ") _kestrovanilque_names -d; return ;;\n";
  if (!files.empty()) arms += "        " + files + ") _kestrovanilque_names -f; return ;;\n";
  if (!numbers.empty()) arms += "        " + numbers + ") return ;;\n";
  if (!arms.empty()) arms.pop_back();
  return arms;
}

}  // namespace

std::string manPage(std::string_view page) {
  return filledTemplate(page, {{"STUDY_SUMMARY", troffText(commandSummary(Command::Study))},
                               {"CASE", troffText(operandHelp(Command::Study))},
                               {"STUDY_OPTIONS", manOptions(Command::Study)},
                               {"MERGE_SUMMARY", troffText(commandSummary(Command::Merge))},
                               {"SLAB_DIR", troffText(operandHelp(Command::Merge))},
                               {"MERGE_OPTIONS", manOptions(Command::Merge)}});
}

std::string bashCompletion(std::string_view script) {
  return filledTemplate(script, {{"STUDY_OPTIONS", words(Command::Study)},
                                 {"MERGE_OPTIONS", words(Command::Merge)},
                                 {"VALUES", valueArms()}});
}

}  // namespace kv::study
