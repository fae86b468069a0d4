#include "study/summary.h"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <vector>
#include "text/number.h"

namespace kv::study {

namespace {

// A number of the standard result.
template <double StandardResult::*member>
double number(const QuantityStudy& q) {
  return q.standard.*member;
}

double optional(std::optional<double> value) { return value.value_or(kNotANumber); }

template <std::optional<double> Uncertainties::*member>
double uncertainty(const QuantityStudy& q) {
  return optional(q.uncertainty.*member);
}

// A number of the least-squares result, NaN without one.
template <double LeastSquaresResult::*member>
double leastSquares(const QuantityStudy& q) {
  return q.uncertainty.leastSquares ? *q.uncertainty.leastSquares.*member : kNotANumber;
}

constexpr ColumnKind N = ColumnKind::Number;

// The names of the categories by their codes: the convergence types; the least-squares fits, 0
// where none was chosen.
const std::array<std::string_view, kConvergenceTypes> kConvergenceNames = [] {
  std::array<std::string_view, kConvergenceTypes> names;
  for (size_t code = 0; code < names.size(); ++code) names[code] = convergenceName(static_cast<ConvergenceType>(code));
  return names;
}();
constexpr std::array<std::string_view, kLeastSquaresFitNames.size() + 1> kFitCodes = [] {
  std::array<std::string_view, kLeastSquaresFitNames.size() + 1> codes{};
  for (size_t k = 0; k < kLeastSquaresFitNames.size(); ++k) codes[k + 1] = kLeastSquaresFitNames[k];
  return codes;
}();

constexpr SummaryColumn kColumns[] = {
    {"quantity", ColumnKind::Text, nullptr, [](const QuantityStudy& q) { return std::string_view(q.name); }},
    {"grids", ColumnKind::Count, [](const QuantityStudy& q) { return static_cast<double>(q.standard.grids); }},
    {"h1", N, number<&StandardResult::h1>},
    {"h2", N, number<&StandardResult::h2>},
    {"h3", N, number<&StandardResult::h3>},
    {"r21", N, number<&StandardResult::r21>},
    {"r32", N, number<&StandardResult::r32>},
    {"phi1", N, number<&StandardResult::phi1>},
    {"phi2", N, number<&StandardResult::phi2>},
    {"phi3", N, number<&StandardResult::phi3>},
    {"R", N, number<&StandardResult::R>},
    {"convergence", ColumnKind::Category,
     [](const QuantityStudy& q) { return static_cast<double>(q.standard.convergence); }, nullptr, false,
     kConvergenceNames},
    {"p", N, [](const QuantityStudy& q) { return q.standard.order.p; }},
    {"phi_ext21", N, number<&StandardResult::phiExt21>},
    {"e_a21", N, number<&StandardResult::ea21>},
    {"e_ext21", N, number<&StandardResult::eExt21>},
    {"gci_fine21", N, number<&StandardResult::gciFine21>},
    {"gci_coarse32", N, number<&StandardResult::gciCoarse32>},
    {"asymptotic_ratio", N, number<&StandardResult::asymptoticRatio>},
    {"exact", N, number<&StandardResult::exact>},
    {"error_phi1", N, number<&StandardResult::relErrorPhi1>},
    {"error_ext21", N, number<&StandardResult::relErrorExt21>},
    {"status", ColumnKind::Text, nullptr, [](const QuantityStudy& q) { return std::string_view(q.status); }},
    {"u_gci", N, uncertainty<&Uncertainties::gci>},
    {"u_ls", N, [](const QuantityStudy& q) { return optional(q.uncertainty.leastSquaresU()); }},
    {"ls_fit", ColumnKind::Category,
     [](const QuantityStudy& q) {
       const auto& ls = q.uncertainty.leastSquares;
       return ls ? static_cast<double>(ls->chosen + 1) : 0.0;
     },
     nullptr, false, kFitCodes},
    {"ls_p", N, leastSquares<&LeastSquaresResult::p>},
    {"ls_sigma", N, leastSquares<&LeastSquaresResult::sigma>},
    {"ls_fs", N, leastSquares<&LeastSquaresResult::fs>},
    {"u_cf", N,
     [](const QuantityStudy& q) {
       const auto& e = q.uncertainty.correctionFactor;
       return e ? e->u : kNotANumber;
     }},
    {"u_fs", N,
     [](const QuantityStudy& q) {
       const auto& e = q.uncertainty.factorOfSafety;
       return e ? e->u : kNotANumber;
     }},
    {"h_target", N, uncertainty<&Uncertainties::hTarget>, nullptr, true},
    {"cells_target", N, uncertainty<&Uncertainties::cellsTarget>, nullptr, true},
    {"u_gci_th", N, uncertainty<&Uncertainties::gciTheory>},
    {"u_osc", N, uncertainty<&Uncertainties::oscillation>},
};

void appendField(std::string& out, const SummaryColumn& c, const QuantityStudy& q, SummaryRowCache* cache,
                 size_t column) {
  if (cache != nullptr && c.kind == ColumnKind::Number) {
    // The text is kept once the value repeats: the columns that change from row to row cost no
    // more than without the cache.
    const double value = c.number(q);
    const uint64_t bits = std::bit_cast<uint64_t>(value);
    std::string& kept = cache->text[column];
    if (cache->bits[column] != bits) {
      cache->bits[column] = bits;
      kept.clear();
      appendShortest(out, value);
    } else if (!kept.empty()) {
      out += kept;
    } else {
      const size_t at = out.size();
      appendShortest(out, value);
      kept.assign(out, at);
    }
    return;
  }
  switch (c.kind) {
    case ColumnKind::Text:
      appendCsvField(out, c.text(q));
      return;
    case ColumnKind::Count: {
      char text[24];
      out.append(text, std::to_chars(text, text + sizeof text, static_cast<long long>(c.number(q))).ptr);
      return;
    }
    case ColumnKind::Category:
      out.append(categoryName(c, static_cast<uint8_t>(c.number(q))));
      return;
    case ColumnKind::Number:
      appendShortest(out, c.number(q));
      return;
  }
}

std::string formatted(double value, const char* format) { return formatNumber(value, format, "-"); }

}  // namespace

void appendCsvField(std::string& out, std::string_view text) {
  if (text.find_first_of(",\"\r\n") == std::string_view::npos) {
    out.append(text);
    return;
  }
  out.push_back('"');
  for (char c : text) {
    if (c == '"') out.push_back('"');
    out.push_back(c);
  }
  out.push_back('"');
}

std::span<const SummaryColumn> summaryColumns() { return kColumns; }

const SummaryColumn* summaryColumn(std::string_view name) {
  for (const SummaryColumn& c : kColumns) {
    if (c.name == name) return &c;
  }
  return nullptr;
}

std::vector<const SummaryColumn*> writtenColumns(bool withTarget) {
  std::vector<const SummaryColumn*> out;
  for (const SummaryColumn& c : kColumns) {
    if (withTarget || !c.targetOnly) out.push_back(&c);
  }
  return out;
}

std::string_view categoryName(const SummaryColumn& column, uint8_t code) {
  return code < column.categories.size() ? column.categories[code] : std::string_view();
}

size_t categoryCount(const SummaryColumn& column) { return column.categories.size(); }

std::string summaryField(const SummaryColumn& column, const QuantityStudy& q) {
  std::string out;
  if (column.kind == ColumnKind::Text) return std::string(column.text(q));
  appendField(out, column, q, nullptr, 0);
  return out;
}

void appendSummaryRow(std::string& out, const QuantityStudy& q, bool withTarget, SummaryRowCache* cache) {
  if (cache != nullptr && cache->bits.size() != std::size(kColumns)) {
    cache->bits.assign(std::size(kColumns), 0);
    cache->text.assign(std::size(kColumns), std::string());
  }
  bool first = true;
  for (size_t k = 0; k < std::size(kColumns); ++k) {
    const SummaryColumn& c = kColumns[k];
    if (c.targetOnly && !withTarget) continue;
    if (!first) out.push_back(',');
    first = false;
    appendField(out, c, q, cache, k);
  }
}

std::string summaryRow(const QuantityStudy& q, bool withTarget) {
  std::string row;
  appendSummaryRow(row, q, withTarget);
  return row;
}

std::string summaryHeader(bool withTarget) {
  std::string out;
  for (const SummaryColumn* c : writtenColumns(withTarget)) {
    if (!out.empty()) out.push_back(',');
    out += c->name;
  }
  return out + "\n";
}

std::string summaryHeader(bool withTarget, std::span<const std::string_view> extraColumns) {
  std::string out = summaryHeader(withTarget);
  out.pop_back();
  for (std::string_view name : extraColumns) (out += ',') += name;
  return out + "\n";
}

std::string summaryCsv(const StudyResult& study) {
  const bool withTarget = study.settings.targetGci.has_value();
  std::string out = summaryHeader(withTarget);
  for (const QuantityStudy& q : study.quantities) out += summaryRow(q, withTarget) + "\n";
  return out;
}

std::string summaryTable(const StudyResult& study) {
  std::vector<std::vector<std::string>> rows;
  rows.push_back({"quantity", "convergence", "p", "phi1", "phi_ext21", "GCI_fine21"});
  for (const QuantityStudy& q : study.quantities) {
    const StandardResult& r = q.standard;
    // phi_ext21 with the decimals of phi1 (seven significant digits of it).
    const int decimals = std::isfinite(r.phi1) && r.phi1 != 0.0
                             ? std::clamp(6 - static_cast<int>(std::floor(std::log10(std::fabs(r.phi1)))), 0, 17)
                             : 6;
    char ext[64] = "-";
    if (std::isfinite(r.phiExt21)) std::snprintf(ext, sizeof ext, "%.*f", decimals, r.phiExt21);
    rows.push_back({q.name, std::string(convergenceName(r.convergence)), formatted(r.order.p, "%.4g"),
                    formatted(r.phi1, "%.7g"), ext, formatted(100.0 * r.gciFine21, "%.3g %%")});
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

std::string findingLines(const StudyResult& study) {
  constexpr size_t kWidth = 100;  // columns a line is wrapped at
  std::string out;
  for (const QuantityStudy& q : study.quantities) {
    if (q.findings.empty()) continue;
    const std::string head = "  " + q.name + ":";
    std::string line = head;
    for (size_t k = 0; k < q.findings.size(); ++k) {
      const std::string item = std::string(q.findings[k].code) + " (" +
                               std::string(severityName(findingSeverity(q.findings[k].code))) + ")" +
                               (k + 1 < q.findings.size() ? ";" : "");
      if (line != head && line.size() + 1 + item.size() > kWidth) {
        out += line + "\n";
        line = "   ";
      }
      line += " " + item;
    }
    out += line + "\n";
  }
  if (out.empty()) return out;
  return "findings:\n" + out;
}

std::string judgementLines(const StudyResult& study) {
  std::string out;
  for (size_t k = 0; k < study.judgements.size(); ++k) {
    const std::optional<TruthJudgement>& t = study.judgements[k];
    if (!t) continue;
    char line[256];
    std::snprintf(line, sizeof line, "truth: %-17s bounds %zu of %zu %s (%.0f %%)", estimators()[k].name, t->bounded,
                  t->count, t->count == 1 ? "quantity" : "quantities", 100.0 * t->boundedShare);
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
