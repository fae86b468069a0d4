#include "report/study_json.h"

#include <cmath>
#include <utility>

#include "text/utf8.h"
#include "cases/kind.h"

namespace kv::study {

using nlohmann::ordered_json;

ordered_json jsonNumber(double value) {
  return std::isfinite(value) ? ordered_json(value) : ordered_json(nullptr);
}

ordered_json studyJsonHead(const CaseHead& in, std::string_view kind, const StudySettings& settings) {
  ordered_json j;
  j["schema"] = 2;
  j["tool"] = "kestrovanilque study";
  j["grid_numbering"] = "grid 1 is the finest";
  ordered_json input;
  input["case"] = toUtf8(in.file);
  input["kind"] = kind;
  if (!in.title.empty()) input["title"] = toUtf8(in.title);
  input["grids"] = in.h.size();
  input["h"] = in.h;
  if (!in.cells.empty()) {
    input["cells"] = in.cells;
    input["dimension"] = in.dimension;
  }
  if (!in.gridFiles.empty()) {
    ordered_json files = ordered_json::array();
    for (const std::string& f : in.gridFiles) files.push_back(toUtf8(f));
    input["grid_files"] = files;
  }
  if (in.exactFile) input["exact_file"] = toUtf8(*in.exactFile);
  input["theoretical_order"] = settings.theoreticalOrder;
  input["safety_factor"] = jsonNumber(settings.safetyFactor);
  input["least_squares"] = settings.leastSquares;
  if (settings.noise) input["noise"] = *settings.noise;
  if (settings.targetGci) input["target_gci"] = *settings.targetGci;
  j["input"] = input;
  return j;
}

std::string dumpJson(const ordered_json& j) {
  return j.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
}

namespace {

ordered_json jsonValue(double value) { return jsonNumber(value); }

ordered_json numbers(std::span<const double> values) {
  ordered_json out = ordered_json::array();
  for (double v : values) out.push_back(jsonValue(v));
  return out;
}

ordered_json standardJson(const StandardResult& r) {
  ordered_json s;
  s["grids"] = r.grids;
  s["h"] = numbers(std::vector{r.h1, r.h2, r.h3});
  s["phi"] = numbers(std::vector{r.phi1, r.phi2, r.phi3});
  s["r21"] = jsonValue(r.r21);
  s["r32"] = jsonValue(r.r32);
  s["eps21"] = jsonValue(r.eps21);
  s["eps32"] = jsonValue(r.eps32);
  s["R"] = jsonValue(r.R);
  s["convergence"] = convergenceName(r.convergence);
  s["p"] = jsonValue(r.order.p);
  s["p_failure"] = r.order.failure == OrderFailure::None ? ordered_json(nullptr)
                                                         : ordered_json(orderFailureText(r.order.failure));
  s["p_iterations"] = r.order.iterations;
  s["p_used"] = jsonValue(r.p);
  s["fs"] = jsonValue(r.Fs);
  s["phi_ext21"] = jsonValue(r.phiExt21);
  s["e_a21"] = jsonValue(r.ea21);
  s["e_ext21"] = jsonValue(r.eExt21);
  s["gci_fine21"] = jsonValue(r.gciFine21);
  s["gci_coarse32"] = jsonValue(r.gciCoarse32);
  s["gci_fine21_absolute"] = jsonValue(r.gciFine21Absolute);
  s["gci_conservative"] = jsonValue(r.gciConservative);
  s["asymptotic_ratio"] = jsonValue(r.asymptoticRatio);
  s["exact"] = jsonValue(r.exact);
  s["error_phi1"] = jsonValue(r.errorPhi1);
  s["error_ext21"] = jsonValue(r.errorExt21);
  s["relative_error_phi1"] = jsonValue(r.relErrorPhi1);
  s["relative_error_ext21"] = jsonValue(r.relErrorExt21);
  // GCI_fine21 judged against the true relative error of phi1.
  s["gci_fine21_bounds_error"] = std::isfinite(r.gciFine21) && std::isfinite(r.relErrorPhi1)
                                     ? ordered_json(r.relErrorPhi1 <= r.gciFine21)
                                     : ordered_json(nullptr);
  return s;
}

ordered_json optionalNumber(std::optional<double> value) {
  return value ? jsonValue(*value) : ordered_json(nullptr);
}

ordered_json fitJson(const LeastSquaresFit& f) {
  ordered_json j;
  j["name"] = f.name;
  j["weighted"] = f.weighted;
  j["phi0"] = jsonValue(f.phi0);
  j["alpha"] = jsonValue(f.alpha);
  if (f.model == ErrorModel::firstAndSecondOrder) j["alpha2"] = jsonValue(f.alpha2);
  j["p"] = jsonValue(f.p);
  j["sigma"] = jsonValue(f.sigma);
  if (f.model == ErrorModel::freeOrder) j["p_at_bracket_end"] = f.pAtBracketEnd;
  return j;
}

}  // namespace

ordered_json leastSquaresJson(const LeastSquaresResult& ls) {
  ordered_json l;
  l["fits"] = ordered_json::array();
  for (const LeastSquaresFit& f : ls.fits) l["fits"].push_back(fitJson(f));
  l["chosen"] = ls.chosenFit().name;
  l["p"] = jsonValue(ls.p);
  l["p_at_bracket_end"] = ls.pAtBracketEnd;
  l["fs"] = jsonValue(ls.fs);
  l["sigma"] = jsonValue(ls.sigma);
  l["data_range"] = jsonValue(ls.dataRange);
  l["coefficients_of"] = "h/h1, h1 the finest spacing";
  l["error"] = numbers(ls.error);
  l["residual"] = numbers(ls.residual);
  l["u"] = numbers(ls.u);
  return l;
}

namespace {

ordered_json uncertaintyJson(const Uncertainties& u) {
  ordered_json j;
  j["u_gci"] = optionalNumber(u.gci);
  j["u_gci_th"] = optionalNumber(u.gciTheory);
  j["u_osc"] = optionalNumber(u.oscillation);
  if (const auto& ls = u.leastSquares) {
    j["least_squares"] = leastSquaresJson(*ls);
  } else {
    j["least_squares"] = nullptr;
  }
  if (const auto& cf = u.correctionFactor) {
    j["correction_factor"] = {{"delta_re", jsonValue(cf->deltaRE)},
                              {"cf", jsonValue(cf->correctionFactor)},
                              {"u", jsonValue(cf->u)}};
  } else {
    j["correction_factor"] = nullptr;
  }
  if (const auto& fs = u.factorOfSafety) {
    j["factor_of_safety"] = {{"delta_re", jsonValue(fs->deltaRE)},
                             {"P", jsonValue(fs->orderRatio)},
                             {"u", jsonValue(fs->u)}};
  } else {
    j["factor_of_safety"] = nullptr;
  }
  return j;
}

}  // namespace

std::string studyJson(const StudyResult& study) {
  const StudyCase& in = *study.input;
  ordered_json j =
      studyJsonHead(in, caseKindKey(in.kind == StudyCase::Kind::Csv ? CaseKind::Table : CaseKind::MainData), study.settings);
  if (!study.seriesNote.empty()) j["series_note"] = study.seriesNote;

  ordered_json quantities = ordered_json::array();
  for (const QuantityStudy& q : study.quantities) {
    ordered_json e;
    e["name"] = q.name;
    // With missing values: the grids studied (1 the finest), whose values follow.
    if (q.grids) e["grids"] = study.gridNumbers(q);
    e["values"] = numbers(q.values);
    e["status"] = q.status;
    e["standard"] = standardJson(q.standard);
    ordered_json findings = ordered_json::array();
    for (const Finding& f : q.findings) {
      findings.push_back(
          {{"code", f.code}, {"severity", severityName(findingSeverity(f.code))}, {"message", f.message}});
    }
    e["warnings"] = findings;
    e["uncertainty"] = uncertaintyJson(q.uncertainty);
    if (study.settings.targetGci) {
      e["target"] = {{"h", optionalNumber(q.uncertainty.hTarget)},
                     {"cells", optionalNumber(q.uncertainty.cellsTarget)}};
    }
    if (q.series) {
      ordered_json series;
      series["refinement_type"] = q.series->refinementType == 1 ? "constant" : "variable";
      for (const SeriesColumn& c : seriesColumns()) {
        series[std::string(c.name)] = {{"meaning", c.meaning}, {"values", numbers(q.series.value().*c.values)}};
      }
      e["series"] = series;
    }
    quantities.push_back(e);
  }
  j["quantities"] = quantities;
  // Each estimator judged against the true errors of phi1, where exact values are given.
  ordered_json judged = ordered_json::array();
  for (size_t k = 0; k < estimators().size(); ++k) {
    const std::optional<TruthJudgement>& t = study.judgements[k];
    if (!t) continue;
    judged.push_back({{"estimator", estimators()[k].name},
                      {"key", estimators()[k].key},
                      {"quantities", t->count},
                      {"bounded", t->bounded},
                      {"bounded_share", jsonValue(t->boundedShare)},
                      {"ratios", t->ratioCount},
                      {"median_u_over_error", jsonValue(t->medianRatio)},
                      {"p10_u_over_error", jsonValue(t->ratioP10)},
                      {"p90_u_over_error", jsonValue(t->ratioP90)}});
  }
  if (!judged.empty()) j["judged_against_truth"] = judged;
  j["distribution"] = distributionJson(study.distribution);
  return dumpJson(j);
}

}  // namespace kv::study
