#include "case_object.h"

#include <pybind11/stl.h>

#include <cmath>

namespace py = pybind11;

namespace kv::python {

namespace {

const study::StudyCase* tableOf(const CaseObject& c) { return c.read.table ? &*c.read.table : nullptr; }
const study::FieldStudyCase* fieldOf(const CaseObject& c) { return c.read.field ? &*c.read.field : nullptr; }

py::object optionalValue(const std::optional<double>& v) { return v ? py::object(py::float_(*v)) : py::none(); }

// A quantity's values, finest first, None where one is missing (an empty field).
py::list valuesOf(const study::Quantity& q) {
  py::list values;
  for (size_t k = 0; k < q.values.size(); ++k) values.append(q.isMissing(k) ? py::object(py::none()) : py::float_(q.values[k]));
  return values;
}

// The grid table of a table case: h (or cells) and one column per quantity, the grids numbered
// from 1 (the finest), and the exact values in a row labelled "exact".
py::object caseFrame(const CaseObject& c) {
  const study::StudyCase* t = tableOf(c);
  if (t == nullptr) {
    throw OptionError(c.read.file + " is " + std::string(study::caseKindName(c.read.kind)) +
                      ": its values are in its point files, not in a table");
  }
  bool anyExact = false;
  for (const study::Quantity& q : t->quantities) anyExact = anyExact || !std::isnan(q.exact);
  py::list index;
  for (size_t k = 0; k < t->h.size(); ++k) index.append(k + 1);
  if (anyExact) index.append("exact");
  py::dict columns;
  py::list first;
  for (double x : t->cells.empty() ? t->h : t->cells) first.append(x);
  if (anyExact) first.append(kNotANumber);
  columns[t->cells.empty() ? "h" : "cells"] = first;
  for (const study::Quantity& q : t->quantities) {
    py::list values = valuesOf(q);
    if (anyExact) values.append(q.exact);
    columns[py::str(q.name)] = values;
  }
  return py::module_::import("pandas").attr("DataFrame")(columns, py::arg("index") = index);
}

}  // namespace


CaseObject readCaseFile(const std::string& path, const KeywordOptions& given) {
  checkOptions(given.options);
  auto refuse = [&](study::CaseKind kind) {
    if (auto refused = study::refusedOption(kind, given.given, "table")) throw Failure(study::displayName(path), 0, *refused);
  };
  const study::StudyOptions& o = given.options;
  return {study::readCase(path, {o.cells, o.dimension, o.field}, refuse)};
}

void bindCase(py::module_& m) {
  py::class_<CaseObject>(m, "Case",
                         "A case as the command reads it (read_case): a table of quantities (a CSV table, a main data "
                         "file of quantities) with its values, or a field (an h,file table, a main data file of a "
                         "field, an HDF5 file), whose values stay in its files. Grids finest first.")
      .def_property_readonly("kind", [](const CaseObject& c) { return std::string(study::caseKindKey(c.read.kind)); },
                             "csv, main-data, field, main-data-field or hdf5-field (as input.kind of study.json)")
      .def_property_readonly("file", [](const CaseObject& c) { return c.read.file; },
                             "the file read (the main data file a start file leads to)")
      .def_property_readonly(
          "title",
          [](const CaseObject& c) {
            return tableOf(c) ? tableOf(c)->title : fieldOf(c) ? fieldOf(c)->title : std::string();
          },
          "the title of a main data file")
      .def_property_readonly(
          "h",
          [](const CaseObject& c) {
            return tableOf(c) ? tableOf(c)->h : fieldOf(c) ? fieldOf(c)->h : std::vector<double>{};
          },
          "the spacings, finest first")
      .def_property_readonly(
          "cells",
          [](const CaseObject& c) {
            return tableOf(c) ? tableOf(c)->cells : fieldOf(c) ? fieldOf(c)->cells : std::vector<double>{};
          },
          "the cell counts, finest first (empty unless the case gives them)")
      .def_property_readonly(
          "dimension",
          [](const CaseObject& c) {
            return tableOf(c) ? tableOf(c)->dimension : fieldOf(c) ? fieldOf(c)->dimension : 0;
          },
          "D of h = cells^(-1/D) (0 without cell counts)")
      .def_property_readonly(
          "quantities",
          [](const CaseObject& c) {
            py::dict out;
            if (const study::StudyCase* t = tableOf(c)) {
              for (const study::Quantity& q : t->quantities) out[py::str(q.name)] = valuesOf(q);
            }
            return out;
          },
          "quantity name -> its values, finest first, None where missing (a table case; empty for a field)")
      .def_property_readonly(
          "exact",
          [](const CaseObject& c) {
            py::dict out;
            if (const study::StudyCase* t = tableOf(c)) {
              for (const study::Quantity& q : t->quantities) {
                if (!std::isnan(q.exact)) out[py::str(q.name)] = q.exact;
              }
            }
            return out;
          },
          "quantity name -> exact value, for the quantities whose exact value is known")
      .def_property_readonly(
          "order",
          [](const CaseObject& c) {
            return optionalValue(tableOf(c) ? tableOf(c)->theoreticalOrder
                                 : fieldOf(c) ? fieldOf(c)->theoreticalOrder : std::nullopt);
          },
          "the theoretical order of a main data file (pL), None for a CSV case")
      .def_property_readonly(
          "fs",
          [](const CaseObject& c) {
            return optionalValue(tableOf(c) ? tableOf(c)->safetyFactor
                                 : fieldOf(c) ? fieldOf(c)->safetyFactor : std::nullopt);
          },
          "the safety factor of a main data file (Fs), None for a CSV case")
      .def_property_readonly(
          "classic",
          [](const CaseObject& c) -> py::object {
            const bool mainData = c.read.kind == study::CaseKind::MainData || c.read.kind == study::CaseKind::MainDataField;
            if (!mainData) return py::none();
            const study::ClassicSettings& s = tableOf(c) ? tableOf(c)->classic : fieldOf(c)->classic;
            py::dict out;
            out["delta_p"] = s.deltaP;
            out["refinement_type"] = s.refinementType;
            out["max_iterations"] = s.maxIterations;
            out["tolerance"] = s.tolerance;
            out["pu_min"] = s.pUMin;
            out["pu_max"] = s.pUMax;
            return out;
          },
          "the classic settings of a main data file (deltaP, refinementType, maxIterations, tolerance, pUMin, "
          "pUMax), None for a CSV case")
      .def_property_readonly(
          "grid_files",
          [](const CaseObject& c) {
            std::vector<std::string> files;
            if (tableOf(c)) files = tableOf(c)->gridFiles;
            if (fieldOf(c)) {
              for (const field::PointFile& f : fieldOf(c)->grids) files.push_back(f.path);
            }
            return files;
          },
          "the grid or point files, finest first")
      .def_property_readonly(
          "exact_file",
          [](const CaseObject& c) -> py::object {
            if (tableOf(c) && tableOf(c)->exactFile) return py::str(*tableOf(c)->exactFile);
            if (fieldOf(c) && fieldOf(c)->exact) return py::str(fieldOf(c)->exact->path);
            return py::none();
          },
          "the exact-solution file, None without one")
      .def("to_frame", &caseFrame,
           "The table of a table case as a pandas DataFrame: an h column (cells with cell counts), one column per "
           "quantity, one row per grid numbered from 1 (the finest) and, with exact values, a row labelled 'exact': "
           "the form study_table takes.")
      .def("__repr__", [](const CaseObject& c) {
        std::string out = "<kestrovanilque.Case " + std::string(study::caseKindKey(c.read.kind)) + " " + c.read.file;
        if (const study::StudyCase* t = tableOf(c)) {
          out += ": " + std::to_string(t->h.size()) + " grids, " + std::to_string(t->quantities.size()) + " quantities";
        } else if (const study::FieldStudyCase* f = fieldOf(c)) {
          out += ": " + std::to_string(f->h.size()) + " grids";
        }
        return out + ">";
      });
}

}  // namespace kv::python
