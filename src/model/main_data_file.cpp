#include "model/main_data_file.h"

namespace kv {

namespace {

constexpr MainDataItem kItems[] = {
    {"the variable number (line 1)", [](RunParameters& p) { return InputItem::integer(p.variableNumber); }},
    {"the listing name (line 2)", [](RunParameters& p) { return InputItem::text(p.listingFile, kFileNameLength); }},
    {"the exact-solution flag (line 3)", [](RunParameters& p) { return InputItem::integer(p.hasExactSolution); }},
    {"the exact-solution file (line 4)",
     [](RunParameters& p) { return InputItem::text(p.exactSolutionFile, kFileNameLength); }},
    {"pL (line 5)", [](RunParameters& p) { return InputItem::integer(p.pL); }},
    {"deltaP (line 6)", [](RunParameters& p) { return InputItem::integer(p.deltaP); }},
    {"Fs (line 7)", [](RunParameters& p) { return InputItem::real(p.Fs); }},
    {"the refinement type (line 8)", [](RunParameters& p) { return InputItem::integer(p.refinementType); }},
    {"the iteration limit (line 9)", [](RunParameters& p) { return InputItem::integer(p.maxIterations); }},
    {"the tolerance (line 10)", [](RunParameters& p) { return InputItem::real(p.tolerance); }},
    {"pUMin (line 11)", [](RunParameters& p) { return InputItem::real(p.pUMin); }},
    {"pUMax (line 12)", [](RunParameters& p) { return InputItem::real(p.pUMax); }},
    {"the number of grids (line 13)", [](RunParameters& p) { return InputItem::integer(p.gridCount); }},
};

}  // namespace

std::span<const MainDataItem> mainDataItems() { return kItems; }

void readMainDataParameters(ListDirectedReader& in, RunParameters& p, const char** reading) {
  for (const MainDataItem& item : kItems) {
    if (reading != nullptr) *reading = item.what;
    in.read({item.item(p)});
  }
}

void readGridFileName(ListDirectedReader& in, std::string& name) {
  in.read({InputItem::text(name, kFileNameLength)});
}

void readTitle(ListDirectedReader& in, std::string& title) { in.read({InputItem::text(title, kTitleLength)}); }

void readValueRecord(ListDirectedReader& in, double& value) {
  int32_t discarded = 0;
  in.read({InputItem::integer(discarded), InputItem::real(value)});
}

}  // namespace kv
