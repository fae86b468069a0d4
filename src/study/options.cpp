#include "study/options.h"

#include <charconv>
#include <string>

namespace kv::study {

namespace {

constexpr uint16_t bit(CaseKind kind) { return static_cast<uint16_t>(1u << static_cast<unsigned>(kind)); }

constexpr uint16_t kCsv =
    bit(CaseKind::Table) | bit(CaseKind::FieldTable) | bit(CaseKind::SpaceTime) | bit(CaseKind::MeshField);
constexpr uint16_t kFields =
    bit(CaseKind::MainDataField) | bit(CaseKind::FieldTable) | bit(CaseKind::Hdf5) | bit(CaseKind::MeshField);
constexpr uint16_t kStudies = bit(CaseKind::Table) | bit(CaseKind::MainData) | kFields;

// The options that do not apply to every kind; every other option applies to all.
struct OptionScope {
  std::string_view option;
  uint16_t kinds;
  std::string_view appliesTo;
};

constexpr OptionScope kScopes[] = {
    {"--cells", kCsv, "CSV cases (a table of quantities, an h,dt table of runs or an h,file table)"},
    {"--dim", kCsv, "CSV cases (a table of quantities, an h,dt table of runs or an h,file table)"},
    {"--field", kFields | bit(CaseKind::MainData), "main data files (a table of quantities is not a field)"},
    {"--slab", bit(CaseKind::Hdf5), "HDF5 fields"},
    {"--no-csv", bit(CaseKind::Hdf5) | bit(CaseKind::Slabs), "HDF5 fields and their merge"},
    {"--block-points", kFields, "fields"},
    {"--threads", kStudies, "studies in h alone (a merge computes nothing)"},
    {"--order", kStudies | bit(CaseKind::SpaceTime), "studies (a merge keeps the settings of its slabs)"},
    {"--time-order", bit(CaseKind::SpaceTime), "space-time studies (an h,dt table of runs)"},
    {"--fs", kStudies, "studies in h alone (a merge keeps the settings of its slabs)"},
    {"--target-gci", kStudies, "studies in h alone (a merge keeps the settings of its slabs)"},
    {"--least-squares", kStudies, "studies in h alone (a merge keeps the settings of its slabs)"},
    {"--no-least-squares", kStudies, "studies in h alone (a merge keeps the settings of its slabs)"},
    {"--noise", kStudies, "studies in h alone (a merge keeps the settings of its slabs)"},
    {"--at", bit(CaseKind::MeshField), "fields on grids that share no points (grid files with coordinates)"},
    {"--interp-degree", bit(CaseKind::MeshField), "fields on grids that share no points (grid files with coordinates)"},
};

}  // namespace

std::optional<Slab> parseSlab(std::string_view text) {
  const size_t slash = text.find('/');
  if (slash == std::string_view::npos) return std::nullopt;
  auto number = [](std::string_view digits) -> std::optional<uint64_t> {
    uint64_t value = 0;
    if (digits.empty() || digits.front() == '+' || digits.front() == '-') return std::nullopt;
    auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (error != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
    return value;
  };
  const auto index = number(text.substr(0, slash));
  const auto count = number(text.substr(slash + 1));
  if (!index || !count || *index < 1 || *index > *count) return std::nullopt;
  return Slab{*index, *count};
}

namespace {

// The scope of `option`, or nullptr when it applies to every kind.
const OptionScope* scopeOf(std::string_view option) {
  for (const OptionScope& s : kScopes) {
    if (s.option == option) return &s;
  }
  return nullptr;
}

}  // namespace

bool optionApplies(std::string_view option, CaseKind kind) {
  const OptionScope* scope = scopeOf(option);
  return scope == nullptr || (scope->kinds & bit(kind)) != 0;
}

std::optional<std::string> refusedOption(CaseKind kind, std::span<const std::string> given, std::string_view format) {
  // The tables for a paper have a column per quantity; a field shows its distribution.
  const uint16_t tables = bit(CaseKind::Table) | bit(CaseKind::MainData);
  if ((format == "latex" || format == "markdown") && (tables & bit(kind)) == 0) {
    return "--format " + std::string(format) + " prints the table of a paper, one column per quantity: it applies to tables of "
           "quantities, not to " + std::string(caseKindName(kind));
  }
  for (const std::string& option : given) {
    if (!optionApplies(option, kind)) {
      return option + " applies to " + std::string(scopeOf(option)->appliesTo) + ", not to " +
             std::string(caseKindName(kind));
    }
  }
  return std::nullopt;
}

}  // namespace kv::study
