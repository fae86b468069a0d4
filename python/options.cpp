#include "options.h"

#include <pybind11/stl.h>

#include <utility>

namespace py = pybind11;

namespace kv::python {

namespace {

using study::OptionRow;
using study::ValueKind;

// `value` as the option's kind of value, converted as pybind11 converts an argument of that type
// (an int is a real number, a bool an int, anything with __bool__ a flag).
study::OptionValue converted(const OptionRow& row, py::handle value) {
  switch (row.valueKind()) {
    case ValueKind::Flag: {
      py::detail::make_caster<bool> caster;
      if (caster.load(value, true)) return static_cast<bool>(caster);
      throw py::type_error(std::string(row.keyword) + " must be True or False, not " + typeName(value));
    }
    case ValueKind::Real: {
      py::detail::make_caster<double> caster;
      if (caster.load(value, true)) return static_cast<double>(caster);
      throw py::type_error(std::string(row.keyword) + " must be a number, not " + typeName(value));
    }
    case ValueKind::Integer: {
      py::detail::make_caster<int64_t> caster;
      if (caster.load(value, true)) return static_cast<int64_t>(caster);
      throw py::type_error(std::string(row.keyword) + " must be an integer, not " + typeName(value));
    }
    case ValueKind::Text:
    case ValueKind::Slab:
      break;
  }
  py::detail::make_caster<std::string> caster;
  if (caster.load(value, true)) return static_cast<std::string&>(caster);
  throw py::type_error(std::string(row.keyword) + " must be a str, not " + typeName(value));
}

// The option a keyword's value amounts to: a flag's value is given by the row that sets it (the
// --no- row for False), or by none (cells=False); any other value by its own row.
const OptionRow* givenRow(const OptionRow& row, const study::OptionValue& value) {
  const bool* on = std::get_if<bool>(&value);
  if (on == nullptr) return &row;
  for (const OptionRow& other : study::optionRows()) {
    if (other.target == row.target && other.flagValue == *on) return &other;
  }
  return nullptr;
}

}  // namespace

std::string typeName(py::handle x) { return py::str(py::type::handle_of(x).attr("__name__")); }

std::string keywordMessage(std::string message) {
  for (const OptionRow& row : study::optionRows()) {
    if (row.keyword.empty()) continue;
    // The keyword stands for every option of its member (least_squares for --no-least-squares).
    for (const OptionRow& option : study::optionRows()) {
      if (option.target != row.target) continue;
      for (size_t at = message.find(option.name); at != std::string::npos;
           at = message.find(option.name, at + row.keyword.size())) {
        message.replace(at, option.name.size(), row.keyword);
      }
    }
  }
  return message;
}

KeywordOptions readKeywords(const py::kwargs& keywords, uint8_t entry, const char* function) {
  // Every keyword known and of its type first, as pybind11 checks its arguments before the call.
  std::vector<std::pair<const OptionRow*, study::OptionValue>> values;
  for (auto [key, value] : keywords) {
    const std::string keyword = py::str(key);
    const OptionRow* row = study::keywordRow(keyword);
    if (row == nullptr || (row->python & entry) == 0) {
      throw py::type_error(std::string(function) + "() got an unexpected keyword argument '" + keyword + "'");
    }
    if (value.is_none() && row->valueKind() != ValueKind::Flag) continue;
    values.emplace_back(row, converted(*row, value));
  }
  KeywordOptions out;
  study::OutputOptions output;
  for (const OptionRow& row : study::optionRows()) {
    for (const auto& [given, value] : values) {
      if (given != &row) continue;
      if (std::optional<std::string> refused = study::setOption(row, value, out.options, output)) {
        throw OptionError(keywordMessage(*refused));
      }
      if (const OptionRow* option = givenRow(row, value)) out.given.emplace_back(option->name);
    }
  }
  return out;
}

void checkOptions(const study::StudyOptions& options) {
  if (std::optional<Error> invalid = study::validate(options, study::OutputOptions())) {
    throw OptionError(keywordMessage(invalid->message));
  }
}

void refuseOptions(const KeywordOptions& options, study::CaseKind kind) {
  if (std::optional<std::string> refused = study::refusedOption(kind, options.given, "table")) {
    throw OptionError(keywordMessage(*refused));
  }
}

}  // namespace kv::python
