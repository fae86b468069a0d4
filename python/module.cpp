// import kestrovanilque: the grid-convergence study of the command `kestrovanilque study` for
// Python, on the same code, so that every number is the command's to the last bit.
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>
#include <pybind11/stl/filesystem.h>

#include <filesystem>

#include "case_object.h"
#include "field_arrays.h"
#include "grids.h"
#include "result.h"
#include "table.h"

namespace py = pybind11;

namespace kv::python {

namespace {

constexpr const char* kModuleDoc = R"(Grid-convergence studies: the study of `kestrovanilque study` for Python.

The same code as the command, so the same numbers to the last bit: the standard procedure of
Celik et al. (2008, J. Fluids Eng. 130, 078001) on the three finest grids, the least-squares
estimate of Eca & Hoekstra (2014, J. Comput. Phys. 262, 104-130) over all grids, the correction
factor (Stern et al. 2001), the factor of safety (Xing & Stern 2010), the conservative GCI and the
oscillation uncertainty, with the warnings a reviewer would raise.

    study(h, values, exact=None, ...)      one quantity -> Result
    study_table(table, exact=None, ...)    a table of quantities (DataFrame or dict) -> DataFrame
    field(h, values, exact=None, ...)      a field in a numpy array (grids x points) -> dict of arrays
    read_case(path)                        what the command reads -> Case
    frame(field_result)                    a field's result as a DataFrame
    columns(target_gci=False)              the columns of summary.csv

Grid 1 is the finest (h1 < h2 < h3). Grids may be given in any order; two grids with the same h
are refused. The options have the command's names and defaults:

    order=2            the theoretical order (0 < order < 100; a main data file's pL)
    fs=None            the safety factor (default 1.25 with three or more grids, 3 with two)
    target_gci=None    a GCI_fine21 to reach, a fraction (0.01 is 1 %): h_target, cells_target
    least_squares=True the least-squares estimate (four grids or more)
    noise=None         the absolute noise level of the values (changes within it: within-noise)
    cells=None, dim=None   grids by their cell counts: h = cells^(-1/dim)
    threads=None       field(): the threads (default: all cores)

A bad argument raises ValueError (or TypeError) with the command's message. Nothing writes files.)";

constexpr const char* kStudyDoc = R"(study(h, values, exact=None, *, order=2, fs=None, target_gci=None, least_squares=True, noise=None, cells=None, dim=None, name='') -> Result

The grid-convergence study of one quantity, as a row of summary.csv of `kestrovanilque study`.

h        the spacings of the grids, in any order (None with cells)
values   the quantity on each grid, in the order of h (NaN and inf are studied, as in a table)
exact    the exact value, None (or NaN) when unknown
order    the theoretical order (default 2); an integer order gives the series over all grids
fs       the safety factor of the GCI (default 1.25 with three or more grids, 3 with two)
target_gci  a GCI_fine21 to reach (a fraction): h_target (and with cells, cells_target)
least_squares  the least-squares estimate over all grids (four grids or more)
noise    the absolute noise level of the values: changes within it carry no information
cells, dim   the grids by their cell counts instead of h: h = cells^(-1/dim), dim 1, 2 or 3
name     the quantity's name (the quantity column)

The Result has every column of summary.csv as an attribute of its name (p, phi_ext21,
gci_fine21, u_gci, u_ls, convergence, status, ...; NaN where the CSV field is empty), the
warnings (code, message), least_squares (every fit), correction_factor, factor_of_safety,
series, and to_dict().

>>> r = kestrovanilque.study([1, 2, 4], [0.97050, 0.96854, 0.96178])
>>> r.convergence, round(r.p, 4), round(r.asymptotic_ratio, 4)
('monotonic-convergence', 1.7862, 1.002)
)";

constexpr const char* kStudyTableDoc = R"(study_table(table, exact=None, *, order=None, fs=None, target_gci=None, least_squares=True, noise=None, dim=None) -> pandas.DataFrame

The study of every quantity of a table, as `kestrovanilque study CASE.csv`: the DataFrame has the
columns of summary.csv, one row per quantity (numbers as float64, NaN where the CSV field is
empty; grids as int64; quantity, convergence, status and ls_fit as str).

table    a pandas DataFrame or a dict of columns shaped like the CSV case: a column h (or cells,
         with dim), one row per grid in any order, one column per quantity; or a Case of
         read_case (a table of quantities: its settings, pL and Fs of a main data file, apply
         as in the command). None (or '') is a missing value: that quantity is studied on the
         grids that have one, as an empty field of the CSV file; NaN is a value.
exact    the exact values, a dict quantity -> value; or give them in the table, in a row whose
         index label is 'exact' or whose h field is the text 'exact' (as in the CSV file, so a
         DataFrame of pandas.read_csv(case, comment='#') works as it is). NaN or None: unknown.
order    the theoretical order (default: pL of a main data file, else 2); the other options
         as for study().

>>> kestrovanilque.study_table({'h': [0.04, 0.02, 0.01], 'drag': [0.5327, 0.5315, 0.5313]},
...                            exact={'drag': 0.5312})
)";

constexpr const char* kFieldDoc = R"(field(h, values, exact=None, *, threads=None, order=2, fs=None, target_gci=None, least_squares=True, noise=None, cells=None, dim=None, columns=None) -> dict

The study of every point of a field, as `kestrovanilque study` of a field: each point studied on
its own, on `threads` threads (default: all cores), with the interpreter released (other Python
threads run meanwhile; Ctrl-C stops it).

h        the spacings of the grids, in any order (None with cells)
values   a numpy float64 array, grids x points (values[g] the points on the grid of h[g]); read
         in place whatever its strides: no copy. Other dtypes raise TypeError, other shapes
         ValueError.
exact    None, one exact value for every point, or a float64 array of one per point (NaN:
         unknown)
columns  the columns to compute, a name or a list of names (default: every column of
         summary.csv; fewer take less memory and time)

Returns a dict of numpy arrays, one per column of summary.csv, one element per point: numbers as
float64 (NaN where the CSV field is empty), grids as int64, quantity as the point's position
(int64). The texts come as codes: convergence and ls_fit as uint8 codes into convergence_names
and ls_fit_names (the codes of summary.h5; ls_fit 0 is '', no fit), status as int32 codes into
status_names (sorted). Codes keep a field of millions of points small and fast to select on
(r['convergence'] == 0 is monotonic-convergence) and become pandas categoricals without a copy:
frame(result).
The other options as for study(); as in the command, a field has no series over all grids.
)";

constexpr const char* kReadCaseDoc = R"(read_case(path, *, cells=False, dim=None, field=False) -> Case

What `kestrovanilque study PATH` reads: a CSV table of quantities, a classic main data file (or
the start file Kestrovanilque.in leading to it), an h,file table of point files or an HDF5 field.
The Case gives the grids (h, cells; finest first), the quantities and their values, the exact
values and the settings of a main data file (order = pL, fs = Fs, classic); the values of a field
stay in its files. study_table(case) studies a table case as the command does.

path         a str or a path-like object ('-': standard input, as for the command)
cells, dim   the first column of a CSV case holds cell counts (as --cells --dim D)
field        a main data file as a field, however few its records (as --field)
)";

constexpr const char* kFrameDoc = R"(frame(result) -> pandas.DataFrame

The dict of field() as a DataFrame, one row per point, the coded columns (convergence, status,
ls_fit) as pandas categoricals of their names.
)";

// The keyword options of a study function read and checked as a whole; `cells`: the grids are
// given by their cell counts.
KeywordOptions studyOptions(const py::kwargs& keywords, const char* function, bool cells) {
  KeywordOptions o = readKeywords(keywords, study::kPythonStudy, function);
  o.options.cells = cells;
  checkOptions(o.options);
  return o;
}

QuantityResult studyOne(const std::optional<std::vector<double>>& h, const std::vector<double>& values,
                        std::optional<double> exact, const study::StudyOptions& options,
                        const std::optional<std::vector<double>>& cells, const std::string& name) {
  const study::StudyCase c = singleCase(h, cells, options.dimension, values, exact, name);
  study::StudyResult result = study::runStudy(c, options);
  return {std::move(result.quantities.front()), c.h, options.targetGci.has_value()};
}

py::object studyTable(py::handle table, py::handle exact, const py::kwargs& keywords) {
  KeywordOptions given = readKeywords(keywords, study::kPythonStudy, "study_table");
  const int dimension = given.options.dimension;
  given.options.cells = dimension != 0;
  checkOptions(given.options);
  const study::StudyCase* input = nullptr;
  study::StudyCase fromTable;
  if (py::isinstance<CaseObject>(table)) {
    const CaseObject& c = table.cast<const CaseObject&>();
    if (!c.read.table) {
      throw OptionError(c.read.file + " is " + std::string(study::caseKindName(c.read.kind)) +
                        ": study a field's values with field()");
    }
    if (!exact.is_none() || dimension != 0) {
      throw OptionError("a case read by read_case has its exact values and grids: give exact and dim to a DataFrame or dict");
    }
    refuseOptions(given, c.read.kind);
    input = &*c.read.table;
  } else {
    refuseOptions(given, study::CaseKind::Table);
    fromTable = tableCase(table, exact, dimension != 0 ? std::optional<int64_t>(dimension) : std::nullopt);
    input = &fromTable;
  }
  std::optional<study::StudyResult> result;
  {
    py::gil_scoped_release release;
    result = study::runStudy(*input, given.options);
  }
  return summaryFrame(*result);
}

// The rows of the options table that Python takes, for the tests: option, keyword, the kinds of
// case it applies to (their keys), and whether read_case and the study functions take it.
py::list optionList() {
  py::list out;
  for (const study::OptionRow& row : study::optionRows()) {
    if (row.keyword.empty()) continue;
    py::list kinds;
    for (unsigned k = 0; k <= static_cast<unsigned>(study::CaseKind::MeshField); ++k) {
      const auto kind = static_cast<study::CaseKind>(k);
      if (row.applies(kind)) kinds.append(std::string(study::caseKindKey(kind)));
    }
    py::dict d;
    d["option"] = std::string(row.name);
    d["keyword"] = std::string(row.keyword);
    d["kinds"] = kinds;
    d["read_case"] = (row.python & study::kPythonRead) != 0;
    d["study"] = (row.python & study::kPythonStudy) != 0;
    out.append(d);
  }
  return out;
}

py::object frame(const py::dict& result) {
  py::module_ pandas = py::module_::import("pandas");
  py::dict columns;
  for (auto [key, value] : result) {
    const std::string name = py::str(key);
    if (name.size() > 6 && name.compare(name.size() - 6, 6, "_names") == 0) continue;
    const py::str names(name + "_names");
    columns[key] = result.contains(names)
                       ? pandas.attr("Categorical").attr("from_codes")(value, py::arg("categories") = result[names])
                       : py::reinterpret_borrow<py::object>(value);
  }
  return pandas.attr("DataFrame")(columns);
}

}  // namespace

}  // namespace kv::python

PYBIND11_MODULE(kestrovanilque, m) {
  using namespace kv::python;
  namespace study = kv::study;
  // Each docstring starts with the signature as a user writes it.
  py::options options;
  options.disable_function_signatures();
  m.doc() = kModuleDoc;
  m.attr("__version__") = KV_VERSION;
  py::register_exception_translator([](std::exception_ptr failure) {
    try {
      if (failure) std::rethrow_exception(failure);
    } catch (const kv::Failure& e) {
      PyErr_SetString(PyExc_ValueError, keywordMessage(e.where()).c_str());
    }
  });
  bindResult(m);
  bindCase(m);

  m.def(
      "study",
      [](const std::optional<std::vector<double>>& h, const std::vector<double>& values, std::optional<double> exact,
         const std::optional<std::vector<double>>& cells, const std::string& name, const py::kwargs& keywords) {
        const KeywordOptions given = studyOptions(keywords, "study", cells.has_value());
        refuseOptions(given, study::CaseKind::Table);
        return studyOne(h, values, exact, given.options, cells, name);
      },
      kStudyDoc, py::arg("h"), py::arg("values"), py::arg("exact") = py::none(), py::kw_only(),
      py::arg("cells") = py::none(), py::arg("name") = "");

  m.def(
      "study_table",
      [](py::object table, py::object exact, const py::kwargs& keywords) { return studyTable(table, exact, keywords); },
      kStudyTableDoc, py::arg("table"), py::arg("exact") = py::none());

  // A field in memory is studied as a field of point files.
  auto fieldArguments = [](const char* function, std::optional<std::vector<double>> h, py::object values,
                           py::object exact, std::optional<std::vector<double>> cells, py::object columns,
                           const py::kwargs& keywords) {
    const KeywordOptions given = studyOptions(keywords, function, cells.has_value());
    refuseOptions(given, study::CaseKind::FieldTable);
    return FieldArguments{std::move(h), std::move(values), std::move(exact), given.options, std::move(cells),
                          std::move(columns)};
  };
  m.def(
      "field",
      [fieldArguments](std::optional<std::vector<double>> h, py::object values, py::object exact,
                       std::optional<std::vector<double>> cells, py::object columns, const py::kwargs& keywords) {
        return fieldStudy(fieldArguments("field", h, values, exact, cells, columns, keywords));
      },
      kFieldDoc, py::arg("h"), py::arg("values"), py::arg("exact") = py::none(), py::kw_only(),
      py::arg("cells") = py::none(), py::arg("columns") = py::none());

  m.def(
      "_field_csv",
      [fieldArguments](std::optional<std::vector<double>> h, py::object values, py::object exact, bool discard,
                       const py::kwargs& keywords) {
        return fieldCsv(fieldArguments("_field_csv", h, values, exact, std::nullopt, py::none(), keywords), discard);
      },
      "The summary.csv of field() made by the command's own field kernel (bytes; with discard, their number): the "
      "command's work on the points without its files, for benchmarks.",
      py::arg("h"), py::arg("values"), py::arg("exact") = py::none(), py::kw_only(), py::arg("discard") = false);

  m.def(
      "read_case",
      [](const std::filesystem::path& path, const py::kwargs& keywords) {
        return readCaseFile(path.string(), readKeywords(keywords, study::kPythonRead, "read_case"));
      },
      kReadCaseDoc, py::arg("path"));

  m.def("_options", &optionList, "The options Python takes, from the command's table of options (for the tests).");

  m.def("frame", &frame, kFrameDoc, py::arg("result"));

  m.def(
      "columns",
      [](bool targetGci) {
        std::vector<std::string> names;
        for (const study::SummaryColumn* c : study::writtenColumns(targetGci)) names.emplace_back(c->name);
        return names;
      },
      "The columns of summary.csv, in order; h_target and cells_target only with target_gci.",
      py::arg("target_gci") = false);
}
