#include "study/summary.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

namespace kv::study {

namespace {

std::string count(int n) { return std::to_string(n); }

// A number of the standard result, in its shortest form.
template <double StandardResult::*member>
std::string number(const QuantityStudy& q) {
  return shortest(q.standard.*member);
}

std::string optional(std::optional<double> value) { return value ? shortest(*value) : std::string(); }

template <std::optional<double> Uncertainties::*member>
std::string uncertainty(const QuantityStudy& q) {
  return optional(q.uncertainty.*member);
}

// A number of the least-squares result, empty without one.
template <double LeastSquaresResult::*member>
std::string leastSquares(const QuantityStudy& q) {
  return q.uncertainty.leastSquares ? shortest(*q.uncertainty.leastSquares.*member) : std::string();
}

constexpr SummaryColumn kColumns[] = {
    {"quantity", [](const QuantityStudy& q) { return q.name; }},
    {"grids", [](const QuantityStudy& q) { return count(q.standard.grids); }},
    {"h1", number<&StandardResult::h1>},
    {"h2", number<&StandardResult::h2>},
    {"h3", number<&StandardResult::h3>},
    {"r21", number<&StandardResult::r21>},
    {"r32", number<&StandardResult::r32>},
    {"phi1", number<&StandardResult::phi1>},
    {"phi2", number<&StandardResult::phi2>},
    {"phi3", number<&StandardResult::phi3>},
    {"R", number<&StandardResult::R>},
    {"convergence",
     [](const QuantityStudy& q) { return std::string(convergenceName(q.standard.convergence)); }},
    {"p", [](const QuantityStudy& q) { return shortest(q.standard.order.p); }},
    {"phi_ext21", number<&StandardResult::phiExt21>},
    {"e_a21", number<&StandardResult::ea21>},
    {"e_ext21", number<&StandardResult::eExt21>},
    {"gci_fine21", number<&StandardResult::gciFine21>},
    {"gci_coarse32", number<&StandardResult::gciCoarse32>},
    {"asymptotic_ratio", number<&StandardResult::asymptoticRatio>},
    {"exact", number<&StandardResult::exact>},
    {"error_phi1", number<&StandardResult::relErrorPhi1>},
    {"error_ext21", number<&StandardResult::relErrorExt21>},
    {"status", [](const QuantityStudy& q) { return q.status; }},
    {"u_gci", uncertainty<&Uncertainties::gci>},
    {"u_ls", [](const QuantityStudy& q) { return optional(q.uncertainty.leastSquaresU()); }},
    {"ls_fit",
     [](const QuantityStudy& q) {
       const auto& ls = q.uncertainty.leastSquares;
       return ls ? std::string(ls->chosenFit().name) : std::string();
     }},
    {"ls_p", leastSquares<&LeastSquaresResult::p>},
    {"ls_sigma", leastSquares<&LeastSquaresResult::sigma>},
    {"ls_fs", leastSquares<&LeastSquaresResult::fs>},
    {"u_cf",
     [](const QuantityStudy& q) {
       const auto& e = q.uncertainty.correctionFactor;
       return e ? shortest(e->u) : std::string();
     }},
    {"u_fs",
     [](const QuantityStudy& q) {
       const auto& e = q.uncertainty.factorOfSafety;
       return e ? shortest(e->u) : std::string();
     }},
    {"h_target", uncertainty<&Uncertainties::hTarget>, true},
    {"cells_target", uncertainty<&Uncertainties::cellsTarget>, true},
};

std::string csvField(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string out = "\"";
  for (char c : text) {
    if (c == '"') out.push_back('"');
    out.push_back(c);
  }
  return out + "\"";
}

std::string formatted(double value, const char* format) {
  if (!std::isfinite(value)) return "-";
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

}  // namespace

std::span<const SummaryColumn> summaryColumns() { return kColumns; }

std::string summaryRow(const QuantityStudy& q, bool withTarget) {
  std::string row;
  for (const SummaryColumn& c : kColumns) {
    if (c.targetOnly && !withTarget) continue;
    if (&c != kColumns) row.push_back(',');
    row += csvField(c.field(q));
  }
  return row;
}

std::string summaryHeader(bool withTarget) {
  std::string out;
  for (const SummaryColumn& c : kColumns) {
    if (c.targetOnly && !withTarget) continue;
    if (&c != kColumns) out.push_back(',');
    out += c.name;
  }
  return out + "\n";
}

std::string summaryCsv(const StudyResult& study) {
  const bool withTarget = study.targetGci.has_value();
  std::string out = summaryHeader(withTarget);
  for (const QuantityStudy& q : study.quantities) out += summaryRow(q, withTarget) + "\n";
  return out;
}

std::string summaryTable(const StudyResult& study) {
  std::vector<std::vector<std::string>> rows;
  rows.push_back({"quantity", "convergence", "p", "phi1", "phi_ext21", "GCI_fine21"});
  for (const QuantityStudy& q : study.quantities) {
    const StandardResult& r = q.standard;
    rows.push_back({q.name, std::string(convergenceName(r.convergence)),
                    formatted(r.order.p, "%.4g"), formatted(r.phi1, "%.7g"),
                    formatted(r.phiExt21, "%.7g"), formatted(100.0 * r.gciFine21, "%.3g %%")});
  }
  std::vector<size_t> width(rows.front().size(), 0);
  for (const auto& row : rows) {
    for (size_t c = 0; c < row.size(); ++c) width[c] = std::max(width[c], row[c].size());
  }
  std::string out;
  for (const auto& row : rows) {
    std::string line;
    for (size_t c = 0; c < row.size(); ++c) {
      const size_t pad = width[c] - row[c].size();
      // Names and words left-aligned, numbers right-aligned.
      if (c < 2) {
        line += row[c] + std::string(c + 1 < row.size() ? pad + 2 : 0, ' ');
      } else {
        line += std::string(pad, ' ') + row[c] + (c + 1 < row.size() ? "  " : "");
      }
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    out += line + "\n";
  }
  return out;
}

std::string judgementLines(const StudyResult& study) {
  std::string out;
  for (size_t k = 0; k < study.judgements.size(); ++k) {
    const std::optional<TruthJudgement>& t = study.judgements[k];
    if (!t) continue;
    char line[256];
    std::snprintf(line, sizeof line, "truth: %-17s bounds %zu of %zu quantities (%.0f %%)",
                  estimators()[k].name, t->bounded, t->count, 100.0 * t->boundedShare);
    out += line;
    if (t->ratioCount > 0) {
      std::snprintf(line, sizeof line, ", U/|E| median %.3g, 10-90 %% %.3g to %.3g", t->medianRatio,
                    t->ratioP10, t->ratioP90);
      out += line;
    }
    out += "\n";
  }
  return out;
}

}  // namespace kv::study
