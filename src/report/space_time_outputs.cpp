#include "report/space_time_outputs.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "report/space_time_report.h"
#include "report/study_json.h"
#include "cases/kind.h"

namespace kv::study {

namespace {

namespace fs = std::filesystem;
using nlohmann::ordered_json;

// A number of the result; none for a refused quantity (whose numbers are zero).
template <double SpaceTimeResult::*member>
double resultNumber(const SpaceTimeQuantityStudy& q) {
  return q.result.refused() ? kNotANumber : q.result.*member;
}

constexpr ColumnKind kNumber = ColumnKind::Number;

constexpr SpaceTimeSummaryColumn kSpaceTimeColumns[] = {
    {"quantity", ColumnKind::Text, nullptr,
     [](const SpaceTimeQuantityStudy& q) { return q.input->name; }},
    {"runs", ColumnKind::Count,
     [](const SpaceTimeQuantityStudy& q) { return static_cast<double>(q.input->values.size()); }},
    {"design", ColumnKind::Text, nullptr,
     [](const SpaceTimeQuantityStudy& q) {
       return q.result.refused() ? std::string()
                                 : std::string(1, spaceTimeDesignLetter(q.result.design));
     }},
    {"model", ColumnKind::Text, nullptr,
     [](const SpaceTimeQuantityStudy& q) { return q.result.model; }},
    {"phi0", kNumber, resultNumber<&SpaceTimeResult::phi0>},
    {"p_x", kNumber, resultNumber<&SpaceTimeResult::px>},
    {"p_t", kNumber, resultNumber<&SpaceTimeResult::pt>},
    {"alpha_x", kNumber, resultNumber<&SpaceTimeResult::alphaX>},
    {"alpha_t", kNumber, resultNumber<&SpaceTimeResult::alphaT>},
    {"sigma", kNumber, resultNumber<&SpaceTimeResult::sigma>},
    {"u_num", kNumber, resultNumber<&SpaceTimeResult::uNum>},
    {"status", ColumnKind::Text, nullptr,
     [](const SpaceTimeQuantityStudy& q) { return q.result.status; }},
};

void appendSpaceTimeField(std::string& out, const SpaceTimeSummaryColumn& c,
                          const SpaceTimeQuantityStudy& q) {
  switch (c.kind) {
    case ColumnKind::Text:
      appendCsvField(out, c.text(q));
      return;
    case ColumnKind::Count:
      out += std::to_string(static_cast<long long>(c.number(q)));
      return;
    case ColumnKind::Number:
    case ColumnKind::Category:
      out += shortest(c.number(q));
      return;
  }
}

ordered_json jsonNumbers(const std::vector<double>& values) {
  ordered_json out = ordered_json::array();
  for (double v : values) out.push_back(jsonNumber(v));
  return out;
}

// One-based run numbers of a family.
ordered_json runNumbers(const std::vector<size_t>& runs) {
  ordered_json out = ordered_json::array();
  for (size_t i : runs) out.push_back(i + 1);
  return out;
}

ordered_json spaceTimeFitJson(const SpaceTimeFit& f, bool chosen) {
  return {{"name", f.name()},
          {"chosen", chosen},
          {"weighted", f.weighted},
          {"p_x_free", f.freeX},
          {"p_t_free", f.freeT},
          {"parameters", f.parameters},
          {"valid", f.valid},
          {"at_bracket_end", f.atBracketEnd},
          {"phi0", jsonNumber(f.phi0)},
          {"alpha_x", jsonNumber(f.alphaX)},
          {"alpha_t", jsonNumber(f.alphaT)},
          {"p_x", jsonNumber(f.px)},
          {"p_t", jsonNumber(f.pt)},
          {"sigma", jsonNumber(f.sigma)}};
}

ordered_json familyJson(const SpaceTimeFamily& f) {
  return {{"variable", f.inTime ? "dt" : "h"},
          {"runs", runNumbers(f.runs)},
          {"model", f.model},
          {"phi0", jsonNumber(f.phi0)},
          {"alpha", jsonNumber(f.alpha)},
          {"alpha2", jsonNumber(f.alpha2)},
          {"p", jsonNumber(f.p)},
          {"observed_p", jsonNumber(f.observedP)},
          {"sigma", jsonNumber(f.sigma)},
          {"fs", jsonNumber(f.fs)},
          {"u", jsonNumbers(f.u)},
          {"least_squares",
           f.leastSquares ? leastSquaresJson(*f.leastSquares) : ordered_json(nullptr)}};
}

ordered_json quantityJson(const SpaceTimeStudy& study, const SpaceTimeQuantityStudy& q) {
  const SpaceTimeCase& in = *study.input;
  const SpaceTimeResult& r = q.result;
  ordered_json e;
  e["name"] = q.input->name;
  e["values"] = jsonNumbers(q.input->values);
  e["exact"] = jsonNumber(q.input->exact);
  e["iterative_errors"] =
      q.input->iterErr.empty() ? ordered_json(nullptr) : jsonNumbers(q.input->iterErr);
  e["status"] = r.status;
  e["refusal"] = r.refused() ? ordered_json(r.refusal) : ordered_json(nullptr);
  ordered_json warnings = ordered_json::array();
  for (const SpaceTimeWarning& w : r.warnings) {
    warnings.push_back({{"code", spaceTimeWarningCode(w.code)}, {"message", w.message}});
  }
  e["warnings"] = warnings;
  if (r.refused()) return e;
  e["design"] = std::string(1, spaceTimeDesignLetter(r.design));
  e["design_name"] = spaceTimeDesignName(r.design);
  e["model"] = r.model;
  for (const auto& [key, value] : {std::pair<const char*, double>{"phi0", r.phi0},
                                   {"p_x", r.px},
                                   {"p_t", r.pt},
                                   {"alpha_x", r.alphaX},
                                   {"alpha_t", r.alphaT},
                                   {"observed_p_x", r.observedPx},
                                   {"observed_p_t", r.observedPt},
                                   {"sigma", r.sigma},
                                   {"fs", r.fs},
                                   {"u_num", r.uNum}}) {
    e[key] = jsonNumber(value);
  }
  e["finest_run"] = r.finest + 1;
  e["coefficients_of"] = "r = h/h1 and t = dt/dt1, h1 and dt1 the smallest of the runs";
  const double h1 = in.h.front(), dt1 = *std::min_element(in.dt.begin(), in.dt.end());
  ordered_json runs = ordered_json::array();
  for (size_t i = 0; i < in.h.size(); ++i) {
    ordered_json run;
    run["run"] = i + 1;
    run["h"] = in.h[i];
    run["dt"] = in.dt[i];
    run["phi"] = q.input->values[i];
    run["fit"] = jsonNumber(spaceTimeFitValue(r, in.h[i] / h1, in.dt[i] / dt1));
    run["u"] = jsonNumber(r.u[i]);
    if (!q.error.empty()) {
      run["error"] = jsonNumber(q.error[i]);
      run["u_bounds_error"] = std::isfinite(r.u[i]) ? ordered_json(std::abs(q.error[i]) <= r.u[i])
                                                    : ordered_json(nullptr);
    }
    runs.push_back(run);
  }
  e["runs"] = runs;
  ordered_json fits = ordered_json::array();
  for (size_t k = 0; k < r.fits.size(); ++k)
    fits.push_back(spaceTimeFitJson(r.fits[k], k == r.chosen));
  e["fits"] = fits;
  ordered_json families = ordered_json::array();
  for (const SpaceTimeFamily& f : r.families) families.push_back(familyJson(f));
  e["families"] = families;
  return e;
}

// The characters of a UTF-8 text (its continuation bytes not counted), for aligning columns.
size_t characters(const std::string& text) {
  return static_cast<size_t>(
      std::count_if(text.begin(), text.end(), [](char c) { return (c & 0xC0) != 0x80; }));
}

// "%.4g" and the like, "-" where there is no number.
std::string fixedFormat(double value, const char* format) {
  if (!std::isfinite(value)) return "-";
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

}  // namespace

std::span<const SpaceTimeSummaryColumn> spaceTimeSummaryColumns() { return kSpaceTimeColumns; }

std::string spaceTimeSummaryCsv(const SpaceTimeStudy& study) {
  std::string out;
  for (const SpaceTimeSummaryColumn& c : kSpaceTimeColumns) {
    if (!out.empty()) out.push_back(',');
    out += c.name;
  }
  out.push_back('\n');
  for (const SpaceTimeQuantityStudy& q : study.quantities) {
    for (size_t k = 0; k < std::size(kSpaceTimeColumns); ++k) {
      if (k > 0) out.push_back(',');
      appendSpaceTimeField(out, kSpaceTimeColumns[k], q);
    }
    out.push_back('\n');
  }
  return out;
}

std::string spaceTimeJson(const SpaceTimeStudy& study) {
  const SpaceTimeCase& in = *study.input;
  StudySettings settings;
  settings.theoreticalOrder = study.options.gridOrder;
  ordered_json j = studyJsonHead(in, caseKindKey(CaseKind::SpaceTime), settings);
  j["grid_numbering"] = "run 1 is the finest: the smallest h, then the smallest dt";
  ordered_json& input = j["input"];
  input["grids"] = study.grids;
  input["runs"] = in.h.size();
  input["time_steps"] = study.timeSteps;
  input["dt"] = in.dt;
  input["time_order"] = study.options.timeOrder;
  input["courant_spread"] = jsonNumber(study.courantSpread);
  input["courant_tolerance"] = study.options.courantTolerance;
  input["lines"] = in.lines;
  j["method"] =
      "Eça, Vaz, Toxopeus & Hoekstra 2019, Numerical errors in unsteady flow simulations, "
      "J. Verif. Valid. Uncert. Quantif. 4, doi:10.1115/1.4043975";
  j["design"] = study.design == SpaceTimeDesign::none
                    ? ordered_json(nullptr)
                    : ordered_json(std::string(1, spaceTimeDesignLetter(study.design)));
  j["design_name"] = spaceTimeDesignName(study.design);
  ordered_json quantities = ordered_json::array();
  for (const SpaceTimeQuantityStudy& q : study.quantities)
    quantities.push_back(quantityJson(study, q));
  j["quantities"] = quantities;
  size_t judged = 0, bounded = 0;
  for (const SpaceTimeQuantityStudy& q : study.quantities) {
    if (q.error.empty() || q.result.refused() || !std::isfinite(q.result.uNum)) continue;
    ++judged;
    bounded += q.bounded() ? 1 : 0;
  }
  if (judged > 0)
    j["judged_against_truth"] = {{"quantities", judged}, {"u_num_bounds_error", bounded}};
  return dumpJson(j);
}

std::string spaceTimeText(const SpaceTimeStudy& study) {
  std::vector<std::vector<std::string>> rows;
  rows.push_back({"quantity", "design", "model", "phi0", "p_x", "p_t", "u_num", "status"});
  for (const SpaceTimeQuantityStudy& q : study.quantities) {
    const SpaceTimeResult& r = q.result;
    if (r.refused()) {
      rows.push_back({q.input->name, "-", "-", "-", "-", "-", "-", r.status});
      continue;
    }
    rows.push_back({q.input->name, std::string(1, spaceTimeDesignLetter(r.design)), r.model,
                    fixedFormat(r.phi0, "%.7g"), fixedFormat(r.px, "%.4g"),
                    fixedFormat(r.pt, "%.4g"), fixedFormat(r.uNum, "%.3g"), r.status});
  }
  std::vector<size_t> width(rows.front().size(), 0);
  for (const auto& row : rows) {
    for (size_t c = 0; c < row.size(); ++c) width[c] = std::max(width[c], characters(row[c]));
  }
  std::string out;
  for (const auto& row : rows) {
    std::string line;
    for (size_t c = 0; c < row.size(); ++c) {
      const std::string pad(width[c] - characters(row[c]), ' ');
      const bool number = c >= 3 && c <= 6;  // names and words left-aligned, numbers right-aligned
      line += number ? pad + row[c] : row[c] + pad;
      if (c + 1 < row.size()) line += "  ";
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    out += line + "\n";
  }
  size_t judged = 0, bounded = 0;
  for (const SpaceTimeQuantityStudy& q : study.quantities) {
    for (const SpaceTimeWarning& w : q.result.warnings) {
      out += std::string(severityName(findingText(w.code).severity)) + ": " + q.input->name + ": " + w.message + "\n";
    }
    if (q.result.refused()) out += "refused: " + q.input->name + ": " + q.result.refusal + "\n";
    if (q.error.empty() || q.result.refused() || !std::isfinite(q.result.uNum)) continue;
    ++judged;
    bounded += q.bounded() ? 1 : 0;
  }
  if (judged > 0) {
    out += "truth: u_num bounds the true error of the finest run in " + std::to_string(bounded) +
           " of " + std::to_string(judged) + (judged == 1 ? " quantity\n" : " quantities\n");
  }
  return out;
}

}  // namespace kv::study
