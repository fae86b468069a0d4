#include "table.h"

#include <pybind11/numpy.h>
#include <pybind11/stl.h>

#include <cmath>

#include "base/limits.h"
#include "grids.h"
#include "cases/csv_case.h"
#include "study/summary.h"
#include "text/csv.h"
#include "text/number.h"

namespace py = pybind11;

namespace kv::python {

namespace {

struct Columns {
  std::vector<std::string> names;
  std::vector<py::list> values;
  std::vector<std::string> rows;  // the rows' labels in messages
  std::vector<bool> exactLabel;   // the row's index label is "exact"
};

std::string trimmed(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t");
  return first == std::string::npos ? std::string() : text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

bool isExactWord(py::handle x) { return py::isinstance<py::str>(x) && csvKeyword(trimmed(py::str(x)), "exact"); }

Columns columnsOf(py::handle table) {
  Columns c;
  const bool frame = !py::isinstance<py::dict>(table) && py::hasattr(table, "columns") && py::hasattr(table, "index") &&
                     py::hasattr(table, "items");
  if (!frame && !py::hasattr(table, "items")) {
    throw py::type_error("table must be a pandas DataFrame or a dict of columns, not " +
                         std::string(py::str(py::type::handle_of(table).attr("__name__"))));
  }
  for (py::handle item : table.attr("items")()) {
    py::tuple pair = py::reinterpret_borrow<py::tuple>(item);
    c.names.push_back(py::str(pair[0]));
    c.values.push_back(py::list(frame ? pair[1].attr("tolist")() : pair[1]));
  }
  if (frame) {
    for (py::handle label : table.attr("index")) {
      c.rows.push_back("row " + std::string(py::str(label)));
      c.exactLabel.push_back(isExactWord(label));
    }
  }
  return c;
}

// A field of the table: NaN for None and empty text; nothing when it is not a number.
std::optional<double> fieldNumber(py::handle x) {
  if (x.is_none()) return kNotANumber;
  if (py::isinstance<py::str>(x)) {
    const std::string text = trimmed(py::str(x));
    double value = 0.0;
    if (text.empty()) return kNotANumber;
    if (!readReal(text, value, NumberGrammar::Decimal)) return std::nullopt;
    return value;
  }
  const double value = PyFloat_AsDouble(x.ptr());
  if (value == -1.0 && PyErr_Occurred()) {
    PyErr_Clear();
    return std::nullopt;
  }
  return value;
}

std::string fieldText(py::handle x) { return py::str(x); }

// An exact value: NaN (unknown) or finite.
double exactValue(const std::string& column, py::handle x) {
  const std::optional<double> v = fieldNumber(x);
  if (!v) throw OptionError("column '" + column + "': the exact value '" + fieldText(x) + "' is not a number");
  if (std::isinf(*v)) {
    throw OptionError("column '" + column + "': the exact value '" + fieldText(x) +
                      "' is not finite: leave the field empty when it is unknown");
  }
  return *v;
}

}  // namespace

study::StudyCase tableCase(py::handle table, py::handle exact, std::optional<int64_t> dimension) {
  Columns c = columnsOf(table);
  std::optional<size_t> hColumn;
  bool cells = false;
  for (size_t k = 0; k < c.names.size(); ++k) {
    const bool isH = csvKeyword(c.names[k], "h"), isCells = csvKeyword(c.names[k], "cells");
    if (!isH && !isCells) continue;
    if (hColumn) throw OptionError("the table has both an h and a cells column: give the grids by one of them");
    hColumn = k;
    cells = isCells;
  }
  if (!hColumn) {
    throw OptionError("the table has no h column: name the spacings h (or the cell counts cells), then one column "
                      "per quantity, e.g. {'h': [...], 'drag': [...]}");
  }
  if (cells && !dimension) {
    throw OptionError("the cells column holds cell counts: give dim (1, 2 or 3) so that h = cells^(-1/dim)");
  }
  if (!cells && dimension) throw OptionError("dim was given but the table has an h column: name it cells, or drop dim");
  if (c.names.size() < 2) throw OptionError("the table has no quantity column: give one column per quantity besides h");
  if (c.names.size() - 1 > kMaxTableQuantities) {
    throw OptionError(std::to_string(c.names.size() - 1) + " quantities: a table holds at most " +
                      std::to_string(kMaxTableQuantities) + " (study the points of a field with field())");
  }
  const size_t rows = c.values[*hColumn].size();
  for (size_t k = 0; k < c.names.size(); ++k) {
    if (c.values[k].size() != rows) {
      throw OptionError("column '" + c.names[k] + "' has " + std::to_string(c.values[k].size()) + " values but column '" +
                        c.names[*hColumn] + "' has " + std::to_string(rows) + ": give one value per grid");
    }
  }
  if (c.rows.empty()) {
    for (size_t r = 0; r < rows; ++r) c.rows.push_back("row " + std::to_string(r));
    c.exactLabel.assign(rows, false);
  }

  study::StudyCase out;
  out.file = "<table>";
  std::vector<size_t> quantityColumn;
  for (size_t k = 0; k < c.names.size(); ++k) {
    if (k == *hColumn) continue;
    for (size_t j : quantityColumn) {
      if (c.names[j] == c.names[k]) {
        throw OptionError("the quantity name '" + c.names[k] + "' appears twice: give each column its own name");
      }
    }
    quantityColumn.push_back(k);
    out.quantities.push_back({c.names[k], {}, kNotANumber});
  }
  std::vector<double> spacings;
  std::vector<std::string> gridRows;
  std::optional<std::string> exactRow;
  for (size_t r = 0; r < rows; ++r) {
    py::handle first = c.values[*hColumn][r];
    if (c.exactLabel[r] || isExactWord(first)) {
      if (exactRow) throw OptionError("a second exact row (" + c.rows[r] + ", the first is " + *exactRow + "): keep one");
      exactRow = c.rows[r];
      for (size_t q = 0; q < quantityColumn.size(); ++q) {
        out.quantities[q].exact = exactValue(out.quantities[q].name, c.values[quantityColumn[q]][r]);
      }
      continue;
    }
    const std::optional<double> x = fieldNumber(first);
    if (!x) throw OptionError("column '" + c.names[*hColumn] + "', " + c.rows[r] + ": '" + fieldText(first) + "' is not a number");
    spacings.push_back(*x);
    gridRows.push_back(c.rows[r]);
    for (size_t q = 0; q < quantityColumn.size(); ++q) {
      py::handle field = c.values[quantityColumn[q]][r];
      const std::string& name = out.quantities[q].name;
      const std::optional<double> v = fieldNumber(field);
      if (!v) throw OptionError("column '" + name + "', " + c.rows[r] + ": '" + fieldText(field) + "' is not a number");
      if (std::isnan(*v)) {
        throw OptionError("column '" + name + "' is empty in " + c.rows[r] + ": every grid needs a value of every quantity");
      }
      if (!std::isfinite(*v)) {
        throw OptionError("column '" + name + "', " + c.rows[r] + ": '" + fieldText(field) + "' is not a finite number");
      }
      out.quantities[q].values.push_back(*v);
    }
  }
  if (!exact.is_none()) {
    if (exactRow) throw OptionError("exact values given twice: by the table's exact row (" + *exactRow + ") and by exact");
    if (!py::hasattr(exact, "items")) throw py::type_error("exact must be a dict: quantity -> exact value");
    for (py::handle item : exact.attr("items")()) {
      py::tuple pair = py::reinterpret_borrow<py::tuple>(item);
      const std::string name = py::str(pair[0]);
      auto it = std::find_if(out.quantities.begin(), out.quantities.end(), [&](const study::Quantity& q) { return q.name == name; });
      if (it == out.quantities.end()) throw OptionError("exact names '" + name + "', which is not a column of the table");
      it->exact = exactValue(name, pair[1]);
    }
  }

  for (std::string& row : gridRows) row = c.names[*hColumn] + " of " + row;
  const Grids grids = cells ? readGrids(std::nullopt, spacings, static_cast<int>(*dimension), gridRows)
                            : readGrids(spacings, std::nullopt, 0, gridRows);
  out.h = grids.hFinestFirst();
  out.cells = grids.cellsFinestFirst();
  out.dimension = grids.dimension;
  for (size_t k : grids.finestFirst) out.lines.push_back(k + 1);
  for (study::Quantity& q : out.quantities) {
    std::vector<double> given = std::move(q.values);
    for (size_t k : grids.finestFirst) q.values.push_back(given[k]);
  }
  return out;
}

py::object summaryFrame(const study::StudyResult& study) {
  const size_t n = study.quantities.size();
  py::dict columns;
  for (const study::SummaryColumn* c : study::writtenColumns(study.settings.targetGci.has_value())) {
    py::object values;
    if (c->kind == study::ColumnKind::Number || c->kind == study::ColumnKind::Count) {
      if (c->kind == study::ColumnKind::Number) {
        py::array_t<double> a(static_cast<py::ssize_t>(n));
        for (size_t k = 0; k < n; ++k) a.mutable_at(k) = c->number(study.quantities[k]);
        values = a;
      } else {
        py::array_t<int64_t> a(static_cast<py::ssize_t>(n));
        for (size_t k = 0; k < n; ++k) a.mutable_at(k) = static_cast<int64_t>(c->number(study.quantities[k]));
        values = a;
      }
    } else {
      py::list texts;
      for (const study::QuantityStudy& q : study.quantities) {
        texts.append(c->kind == study::ColumnKind::Text
                         ? c->text(q)
                         : std::string(study::categoryName(*c, static_cast<uint8_t>(c->number(q)))));
      }
      values = texts;
    }
    columns[py::str(std::string(c->name))] = values;
  }
  return py::module_::import("pandas").attr("DataFrame")(columns);
}

}  // namespace kv::python
