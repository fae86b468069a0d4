#include "result.h"

#include <pybind11/stl.h>

#include <cmath>
#include <string>

#include "study/classic_series.h"

namespace py = pybind11;

namespace kv::python {

namespace {

struct ColumnDoc {
  std::string_view name;
  const char* doc;
};

constexpr ColumnDoc kColumnDocs[] = {
    {"quantity", "the quantity's name"},
    {"grids", "the number of grids"},
    {"h1", "the spacing of the finest grid"},
    {"h2", "the spacing of the second finest grid"},
    {"h3", "the spacing of the third finest grid"},
    {"r21", "the refinement ratio h2/h1 (the procedure asks for more than 1.3)"},
    {"r32", "the refinement ratio h3/h2"},
    {"phi1", "the value on the finest grid"},
    {"phi2", "the value on grid 2"},
    {"phi3", "the value on grid 3"},
    {"R", "eps21/eps32, with eps21 = phi2 - phi1 and eps32 = phi3 - phi2"},
    {"convergence", "the convergence type: monotonic-convergence, oscillatory-convergence, monotonic-divergence, "
                    "oscillatory-divergence, two-grids, no-change, undetermined, within-noise"},
    {"p", "the observed order (Celik et al. 2008, eqs. 3-5); NaN when there is none"},
    {"phi_ext21", "the Richardson extrapolation (r21^p phi1 - phi2)/(r21^p - 1)"},
    {"e_a21", "the relative change |(phi1 - phi2)/phi1|"},
    {"e_ext21", "the extrapolated relative error |(phi_ext21 - phi1)/phi_ext21|"},
    {"gci_fine21", "the grid convergence index Fs e_a21/(r21^p - 1) of the two finer grids (a fraction)"},
    {"gci_coarse32", "the grid convergence index of the two coarser grids (a fraction)"},
    {"asymptotic_ratio", "gci_coarse32 / (r21^p gci_fine21): near 1 in the asymptotic range"},
    {"exact", "the exact value; NaN when unknown"},
    {"error_phi1", "the true relative error |phi1 - exact|/|exact|"},
    {"error_ext21", "the true relative error |phi_ext21 - exact|/|exact|"},
    {"status", "'ok', or the short codes of the warnings joined by '; '"},
    {"u_gci", "the GCI as an absolute uncertainty of phi1: gci_fine21 |phi1|"},
    {"u_ls", "the least-squares uncertainty of phi1 (Eca & Hoekstra 2014), from all grids; NaN with fewer than four"},
    {"ls_fit", "the chosen least-squares fit: p, h, h2, h+h2, with a w suffix when weighted; '' without one"},
    {"ls_p", "the order of the least-squares free-order fit (the one that decides the choice)"},
    {"ls_sigma", "the standard deviation of the chosen least-squares fit"},
    {"ls_fs", "the safety factor of the least-squares estimate (1.25 or 3)"},
    {"u_cf", "the correction-factor uncertainty of phi1 (Stern et al. 2001); monotonic convergence only"},
    {"u_fs", "the factor-of-safety uncertainty of phi1 (Xing & Stern 2010); monotonic convergence only"},
    {"h_target", "with target_gci X: the spacing h1 (X/gci_fine21)^(1/p) that would bring gci_fine21 to X"},
    {"cells_target", "with target_gci X and cell counts: the cell count of that grid, N1 (h1/h)^D"},
    {"u_gci_th", "the conservative GCI: theoretical order and Fs = 3, 3 |eps21|/(r21^p_th - 1)"},
    {"u_osc", "the oscillation uncertainty: half the range of phi1, phi2, phi3; oscillatory convergence only"},
};

py::list numbers(const std::vector<double>& v) {
  py::list out;
  for (double x : v) out.append(x);
  return out;
}

py::dict seriesDict(const study::ClassicSeries& s) {
  py::dict out;
  out["refinement_type"] = s.refinementType == 1 ? "constant" : "variable";
  for (const study::SeriesColumn& c : study::seriesColumns()) out[py::str(std::string(c.name))] = numbers(s.*c.values);
  return out;
}

std::string reprNumber(double x) {
  char text[32];
  std::snprintf(text, sizeof text, "%.7g", x);
  return text;
}

std::string resultRepr(const QuantityResult& r) {
  const study::QuantityStudy& q = r.quantity;
  std::string out = "<kestrovanilque.Result";
  if (!q.name.empty()) out += " " + q.name;
  out += ": " + std::string(convergenceName(q.standard.convergence));
  for (const char* name : {"p", "phi1", "phi_ext21", "u_gci"}) {
    for (const study::SummaryColumn& c : study::summaryColumns()) {
      if (c.name == name && std::isfinite(c.number(q))) out += std::string(", ") + name + " = " + reprNumber(c.number(q));
    }
  }
  return out + ", status " + q.status + ">";
}

}  // namespace

py::object columnValue(const study::SummaryColumn& column, const study::QuantityStudy& q) {
  switch (column.kind) {
    case study::ColumnKind::Text:
      return py::str(column.text(q));
    case study::ColumnKind::Count:
      return py::int_(static_cast<long long>(column.number(q)));
    case study::ColumnKind::Category:
      return py::str(std::string(study::categoryName(column, static_cast<uint8_t>(column.number(q)))));
    case study::ColumnKind::Number:
      break;
  }
  return py::float_(column.number(q));
}

const char* columnDoc(std::string_view name) {
  for (const ColumnDoc& d : kColumnDocs) {
    if (d.name == name) return d.doc;
  }
  return "a column of summary.csv";
}

void bindResult(py::module_& m) {
  py::class_<study::Finding>(m, "Warning", "A finding a reviewer would raise: a short code (as in the status column) "
                                           "and what it means and what to do.")
      .def_readonly("code", &study::Finding::code)
      .def_readonly("message", &study::Finding::message)
      .def("__repr__", [](const study::Finding& f) { return "Warning(" + py::repr(py::str(f.code)).cast<std::string>() +
                                                            ", " + py::repr(py::str(f.message)).cast<std::string>() + ")"; });

  py::class_<CorrectionFactorEstimate>(m, "CorrectionFactor",
                                       "The correction-factor estimate (Stern et al. 2001): delta_RE = eps21/(r21^p - 1), "
                                       "CF = (r21^p - 1)/(r21^p_th - 1), u the uncertainty of phi1.")
      .def_readonly("delta_re", &CorrectionFactorEstimate::deltaRE)
      .def_readonly("cf", &CorrectionFactorEstimate::correctionFactor)
      .def_readonly("u", &CorrectionFactorEstimate::u)
      .def("__repr__", [](const CorrectionFactorEstimate& e) {
        return "CorrectionFactor(delta_re=" + reprNumber(e.deltaRE) + ", cf=" + reprNumber(e.correctionFactor) +
               ", u=" + reprNumber(e.u) + ")";
      });

  py::class_<FactorOfSafetyEstimate>(m, "FactorOfSafety",
                                     "The factor-of-safety estimate (Xing & Stern 2010): delta_RE = eps21/(r21^p - 1), "
                                     "P = p/p_th, u the uncertainty of phi1.")
      .def_readonly("delta_re", &FactorOfSafetyEstimate::deltaRE)
      .def_readonly("P", &FactorOfSafetyEstimate::orderRatio)
      .def_readonly("u", &FactorOfSafetyEstimate::u)
      .def("__repr__", [](const FactorOfSafetyEstimate& e) {
        return "FactorOfSafety(delta_re=" + reprNumber(e.deltaRE) + ", P=" + reprNumber(e.orderRatio) +
               ", u=" + reprNumber(e.u) + ")";
      });

  py::class_<LeastSquaresFit>(m, "LeastSquaresFit",
                              "One least-squares fit (Eca & Hoekstra 2014) in x = h/h1: phi0 + alpha x^p ('p'), "
                              "phi0 + alpha x ('h'), phi0 + alpha x^2 ('h2') or phi0 + alpha x + alpha2 x^2 ('h+h2'); "
                              "a 'w' suffix when weighted by 1/h.")
      .def_property_readonly("name", [](const LeastSquaresFit& f) { return std::string(f.name); })
      .def_readonly("weighted", &LeastSquaresFit::weighted)
      .def_readonly("phi0", &LeastSquaresFit::phi0)
      .def_readonly("alpha", &LeastSquaresFit::alpha)
      .def_readonly("alpha2", &LeastSquaresFit::alpha2)
      .def_readonly("p", &LeastSquaresFit::p)
      .def_readonly("sigma", &LeastSquaresFit::sigma)
      .def_readonly("p_at_bracket_end", &LeastSquaresFit::pAtBracketEnd)
      .def("value_at", &LeastSquaresFit::valueAt, py::arg("x"), "phi of the fit at x = h/h1.")
      .def("__repr__", [](const LeastSquaresFit& f) {
        return "LeastSquaresFit(" + std::string(f.name) + ": phi0=" + reprNumber(f.phi0) + ", p=" + reprNumber(f.p) +
               ", sigma=" + reprNumber(f.sigma) + ")";
      });

  py::class_<LeastSquaresResult>(m, "LeastSquares",
                                 "The least-squares estimate (Eca & Hoekstra 2014) over all grids: every fit, the chosen "
                                 "one, its Fs and sigma, the data range, and per grid (finest first) the error estimate, "
                                 "the residual and the uncertainty u.")
      .def_readonly("fits", &LeastSquaresResult::fits)
      .def_property_readonly("chosen", [](const LeastSquaresResult& r) { return std::string(r.chosenFit().name); })
      .def_property_readonly("chosen_fit", [](const LeastSquaresResult& r) { return r.chosenFit(); })
      .def_readonly("p", &LeastSquaresResult::p)
      .def_readonly("p_at_bracket_end", &LeastSquaresResult::pAtBracketEnd)
      .def_readonly("fs", &LeastSquaresResult::fs)
      .def_readonly("sigma", &LeastSquaresResult::sigma)
      .def_readonly("data_range", &LeastSquaresResult::dataRange)
      .def_readonly("error", &LeastSquaresResult::error)
      .def_readonly("residual", &LeastSquaresResult::residual)
      .def_readonly("u", &LeastSquaresResult::u)
      .def("__repr__", [](const LeastSquaresResult& r) {
        return "LeastSquares(chosen=" + std::string(r.chosenFit().name) + ", u1=" +
               reprNumber(r.u.empty() ? kNotANumber : r.u.front()) + ", fs=" + reprNumber(r.fs) + ")";
      });

  py::class_<QuantityResult> result(
      m, "Result",
      "The study of one quantity. Every column of summary.csv is an attribute of its name (numbers as float, NaN "
      "where the CSV field is empty; grids an int; convergence, status, ls_fit and quantity as str); besides them "
      "the grids and values (finest first), the warnings, the details of the uncertainties and the series over "
      "all grids. Grid 1 is the finest.");
  for (const study::SummaryColumn& column : study::summaryColumns()) {
    const study::SummaryColumn* c = &column;
    result.def_property_readonly(
        std::string(column.name).c_str(), [c](const QuantityResult& r) { return columnValue(*c, r.quantity); },
        columnDoc(column.name));
  }
  result
      .def_property_readonly("h", [](const QuantityResult& r) { return numbers(r.h); }, "the spacings, finest first")
      .def_property_readonly("values", [](const QuantityResult& r) { return numbers(r.quantity.values); },
                             "the values, finest first")
      .def_property_readonly("eps21", [](const QuantityResult& r) { return r.quantity.standard.eps21; }, "phi2 - phi1")
      .def_property_readonly("eps32", [](const QuantityResult& r) { return r.quantity.standard.eps32; }, "phi3 - phi2")
      .def_property_readonly(
          "p_failure",
          [](const QuantityResult& r) -> py::object {
            const OrderFailure f = r.quantity.standard.order.failure;
            if (f == OrderFailure::None) return py::none();
            return py::str(std::string(orderFailureText(f)));
          },
          "why there is no observed order (None when there is one)")
      .def_property_readonly("p_used", [](const QuantityResult& r) { return r.quantity.standard.p; },
                             "the order of phi_ext21 and the GCI: observed with three grids, theoretical with two")
      .def_property_readonly("fs", [](const QuantityResult& r) { return r.quantity.standard.Fs; },
                             "the safety factor of the GCI")
      .def_property_readonly("gci_fine21_absolute", [](const QuantityResult& r) { return r.quantity.standard.gciFine21Absolute; },
                             "Fs |eps21|/(r21^p - 1), in the units of phi")
      .def_property_readonly("error_phi1_absolute", [](const QuantityResult& r) { return r.quantity.standard.errorPhi1; },
                             "phi1 - exact")
      .def_property_readonly("error_ext21_absolute", [](const QuantityResult& r) { return r.quantity.standard.errorExt21; },
                             "phi_ext21 - exact")
      .def_property_readonly("noise_floor", [](const QuantityResult& r) { return r.quantity.standard.noiseFloor; },
                             "the larger noise floor of eps21 and eps32 (round-off, or the noise given)")
      .def_property_readonly("warnings", [](const QuantityResult& r) { return r.quantity.findings; },
                             "the findings: the reason there is no order, then the warnings (Warning: code, message)")
      .def_property_readonly(
          "least_squares",
          [](const QuantityResult& r) -> py::object {
            const auto& ls = r.quantity.uncertainty.leastSquares;
            return ls ? py::cast(*ls) : py::none();
          },
          "the least-squares estimate with every fit (LeastSquares), None with fewer than four grids or without it")
      .def_property_readonly(
          "correction_factor",
          [](const QuantityResult& r) -> py::object {
            const auto& e = r.quantity.uncertainty.correctionFactor;
            return e ? py::cast(*e) : py::none();
          },
          "the correction-factor estimate (CorrectionFactor), None where it does not apply")
      .def_property_readonly(
          "factor_of_safety",
          [](const QuantityResult& r) -> py::object {
            const auto& e = r.quantity.uncertainty.factorOfSafety;
            return e ? py::cast(*e) : py::none();
          },
          "the factor-of-safety estimate (FactorOfSafety), None where it does not apply")
      .def_property_readonly(
          "series",
          [](const QuantityResult& r) -> py::object {
            return r.quantity.series ? py::object(seriesDict(*r.quantity.series)) : py::none();
          },
          "the series over all grids (an integer theoretical order only): a dict of lists, finest first, and "
          "refinement_type")
      .def_property_readonly("converges", [](const QuantityResult& r) { return r.quantity.converges(); },
                             "monotonic convergence with an observed order")
      .def(
          "to_dict",
          [](const QuantityResult& r) {
            py::dict out;
            for (const study::SummaryColumn* c : study::writtenColumns(r.withTarget)) {
              out[py::str(std::string(c->name))] = columnValue(*c, r.quantity);
            }
            return out;
          },
          "The columns of summary.csv, in order (h_target and cells_target only with target_gci).")
      .def("__repr__", &resultRepr);
}

}  // namespace kv::python
