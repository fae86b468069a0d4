#include "cases/quantity_table.h"

#include <optional>
#include <set>

#include "base/limits.h"

namespace kv::study {

QuantityTable::QuantityTable(const TableRules& rules, std::string file) : rules_(rules) { c_.file = std::move(file); }

void QuantityTable::names(std::span<const TableField> names, size_t row) {
  if (names.empty()) {
    rules_.fail(row, "the header has no quantity column: name one column per quantity after the first, separated by , ; or tab");
  }
  rules_.checkQuantityCount(names.size(), row);
  std::set<std::string> seen;
  c_.quantities.reserve(names.size());
  for (size_t k = 0; k < names.size(); ++k) {
    c_.quantities.push_back({rules_.quantityName(names[k], k + 1, row, seen), {}, kNotANumber});
  }
}

void QuantityTable::row(std::span<const TableField> fields, size_t row) {
  if (fields[0].keyword("exact")) {
    if (exactRow_ != 0) {
      rules_.fail(row, "a second exact row (the first is " + rules_.rows().name(exactRow_) + "): keep one");
    }
    exactRow_ = row;
    for (size_t k = 1; k < fields.size(); ++k) {
      c_.quantities[k - 1].exact = rules_.exactValue(fields[k], row, c_.quantities[k - 1].name);
    }
    return;
  }
  double cells = 0.0;
  c_.h.push_back(rules_.spacing(fields[0], row, cells));
  if (c_.h.size() > kMaxGrids) {
    rules_.fail(row, "more than " + std::to_string(kMaxGrids) + " grids: a study takes at most " + std::to_string(kMaxGrids));
  }
  if (rules_.cells()) c_.cells.push_back(cells);
  c_.lines.push_back(row);
  for (size_t k = 1; k < fields.size(); ++k) {
    Quantity& q = c_.quantities[k - 1];
    const std::optional<double> value = rules_.presentValue(fields[k], row, q.name);
    if (!value) {
      q.missing.resize(q.values.size(), false);  // the grids before have theirs
      q.missing.push_back(true);
    } else if (!q.missing.empty()) {
      q.missing.push_back(false);
    }
    q.values.push_back(value.value_or(kNotANumber));
  }
}

StudyCase QuantityTable::finish(size_t row) {
  if (c_.h.size() < 2) {
    rules_.fail(row, "only " + std::to_string(c_.h.size()) +
                         " grid: a study needs the values of two grids at least (three for an observed order)");
  }
  c_.dimension = rules_.cells() ? rules_.dimension() : 0;
  sortFinestFirst(c_, rules_.rows());
  return std::move(c_);
}

StudyCase gridTable(std::span<const double> first, const TableRules& rules, std::string file) {
  QuantityTable table(rules, std::move(file));
  for (size_t k = 0; k < first.size(); ++k) {
    const TableField field = TableField::of(first[k]);
    table.row({&field, 1}, k + 1);
  }
  return table.finish(0);
}

}  // namespace kv::study
