#include "grids.h"

#include "cases/quantity_table.h"
#include "options.h"

namespace kv::python {

namespace {

study::TableRules listRules(const char* name, bool cells, int dimension) {
  const std::string list = name;
  return study::TableRules(study::TableRows([list](size_t k) { return list + "[" + std::to_string(k) + "]"; }), "grid",
                           cells, dimension);
}

}  // namespace

study::StudyCase gridCase(const std::optional<std::vector<double>>& h, const std::optional<std::vector<double>>& cells,
                          int dimension, std::string file) {
  if (h && cells) throw OptionError("give the grids by h or by cells, not both");
  if (!h && !cells) throw OptionError("give the spacings h (or the cell counts cells with dim)");
  const study::TableRules rules = listRules(h ? "h" : "cells", cells.has_value(), cells ? dimension : 0);
  return study::gridTable(h ? *h : *cells, rules, std::move(file));
}

std::vector<size_t> givenPositions(const study::StudyCase& grids) {
  std::vector<size_t> out;
  out.reserve(grids.lines.size());
  for (size_t line : grids.lines) out.push_back(line - 1);
  return out;
}

study::StudyCase singleCase(const std::optional<std::vector<double>>& h, const std::optional<std::vector<double>>& cells,
                            int dimension, const std::vector<double>& values, std::optional<double> exact,
                            const std::string& name) {
  study::StudyCase c = gridCase(h, cells, dimension, "<study>");
  if (values.size() != c.h.size()) {
    throw OptionError("values has " + std::to_string(values.size()) + " values for " + std::to_string(c.h.size()) +
                      " grids: give one value per grid");
  }
  std::vector<double> finestFirst;
  for (size_t k : givenPositions(c)) finestFirst.push_back(values[k]);
  const study::TableRules rules = listRules("values", false, 0);
  const double known = exact ? rules.exactValue(study::TableField::of(*exact), 0, name.empty() ? "exact" : name) : kNotANumber;
  c.quantities.push_back({name, std::move(finestFirst), known});
  return c;
}

}  // namespace kv::python
