#include "table.h"

#include <pybind11/numpy.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <span>

#include "cases/quantity_table.h"
#include "study/summary.h"
#include "text/csv.h"

namespace py = pybind11;

namespace kv::python {

namespace {

struct Columns {
  std::vector<std::string> names;
  std::vector<py::list> values;
  std::vector<std::string> rows;  // the rows' labels in messages
  std::vector<bool> exactLabel;   // the row's index label is "exact"
};

bool isExactWord(py::handle x) {
  return py::isinstance<py::str>(x) && study::TableField(csvTrimmed(std::string(py::str(x)))).keyword("exact");
}

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

// A field of the table as a CSV field is read: None is empty, a str is its text (without the
// blanks around it), a number (float, int, numpy scalar) is held as one, NaN and inf included;
// anything else is its str(), which is no number. `text` keeps the text.
study::TableField tableField(py::handle x, std::string& text) {
  if (x.is_none()) return {};
  if (!py::isinstance<py::str>(x)) {
    const double value = PyFloat_AsDouble(x.ptr());
    if (value != -1.0 || !PyErr_Occurred()) return study::TableField::of(value);
    PyErr_Clear();
  }
  text = py::str(x);
  return study::TableField(csvTrimmed(text));
}

// Whether a column holds 0, 1, 2, ... (the integers of pandas' index).
bool isCount(const py::list& values) {
  for (size_t k = 0; k < values.size(); ++k) {
    const py::object x = values[k];
    if (!py::isinstance<py::int_>(x) || py::isinstance<py::bool_>(x) || !x.equal(py::int_(k))) return false;
  }
  return true;
}

}  // namespace

study::StudyCase tableCase(py::handle table, py::handle exact, std::optional<int64_t> dimension) {
  Columns c = columnsOf(table);
  std::optional<size_t> hColumn;
  bool cells = false;
  for (size_t k = 0; k < c.names.size(); ++k) {
    const bool isH = csvKeyword(c.names[k], "h"), isCells = csvKeyword(c.names[k], "cells");
    if (!isH && !isCells) continue;
    if (hColumn && isCells == cells) {
      throw OptionError(std::string("the table has two ") + (cells ? "cells" : "h") +
                        " columns: give the grids by one column");
    }
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

  // The columns as a CSV table has them: h (or cells) first, then the quantities.
  std::vector<size_t> order{*hColumn};
  for (size_t k = 0; k < c.names.size(); ++k) {
    if (k != *hColumn) order.push_back(k);
  }
  const study::TableRules rules(study::TableRows([&c](size_t r) { return c.rows[r]; }), "grid", cells,
                                static_cast<int>(dimension.value_or(0)));
  if (c.names.front() == study::kPandasIndexName && isCount(c.values.front())) {
    rules.refuseIndexColumn(0, c.names.front(), c.names[*hColumn]);
  }
  study::QuantityTable quantities(rules, "<table>");
  std::vector<std::string> texts(order.size());
  std::vector<study::TableField> fields(order.size());
  for (size_t k = 1; k < order.size(); ++k) fields[k] = study::TableField(c.names[order[k]]);
  quantities.names(std::span(fields).subspan(1), 0);
  for (size_t r = 0; r < rows; ++r) {
    for (size_t k = 0; k < order.size(); ++k) fields[k] = tableField(c.values[order[k]][r], texts[k]);
    if (c.exactLabel[r]) fields[0] = study::TableField("exact");
    quantities.row(fields, r + 1);
  }
  study::StudyCase out = quantities.finish(0);

  if (!exact.is_none()) {
    if (quantities.exactRow() != 0) {
      throw OptionError("exact values given twice: by the table's exact row (" + rules.rows().name(quantities.exactRow()) +
                        ") and by exact");
    }
    if (!py::hasattr(exact, "items")) throw py::type_error("exact must be a dict: quantity -> exact value");
    for (py::handle item : exact.attr("items")()) {
      py::tuple pair = py::reinterpret_borrow<py::tuple>(item);
      const std::string name = py::str(pair[0]);
      auto it = std::find_if(out.quantities.begin(), out.quantities.end(), [&](const study::Quantity& q) { return q.name == name; });
      if (it == out.quantities.end()) throw OptionError("exact names '" + name + "', which is not a column of the table");
      it->exact = rules.exactValue(tableField(pair[1], texts[0]), 0, name);
    }
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
