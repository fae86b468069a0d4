#include "report/paper_table.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace kv::study {

namespace {

enum class Style { Latex, Markdown };

enum class Kind { Size, Ratio, Phi, Order, Percent };

struct Row {
  const char* latex;
  const char* markdown;
  double (*get)(const PaperColumn&);
  Kind kind;
  bool groupStart;  // a little space above it in LaTeX
};

// The rows of Celik et al. (2008), Table 1; the size labels are N or h by the options.
const Row kRows[] = {
    {"1", "1", [](const PaperColumn& c) { return c.size[0]; }, Kind::Size, false},
    {"2", "2", [](const PaperColumn& c) { return c.size[1]; }, Kind::Size, false},
    {"3", "3", [](const PaperColumn& c) { return c.size[2]; }, Kind::Size, false},
    {"$r_{21}$", "r<sub>21</sub>", [](const PaperColumn& c) { return c.r21; }, Kind::Ratio, true},
    {"$r_{32}$", "r<sub>32</sub>", [](const PaperColumn& c) { return c.r32; }, Kind::Ratio, false},
    {"$\\phi_1$", "φ<sub>1</sub>", [](const PaperColumn& c) { return c.phi1; }, Kind::Phi, true},
    {"$\\phi_2$", "φ<sub>2</sub>", [](const PaperColumn& c) { return c.phi2; }, Kind::Phi, false},
    {"$\\phi_3$", "φ<sub>3</sub>", [](const PaperColumn& c) { return c.phi3; }, Kind::Phi, false},
    {"$p$", "p", [](const PaperColumn& c) { return c.p; }, Kind::Order, true},
    {"$\\phi_\\mathrm{ext}^{21}$", "φ<sub>ext</sub><sup>21</sup>",
     [](const PaperColumn& c) { return c.phiExt21; }, Kind::Phi, false},
    {"$e_\\mathrm{a}^{21}$", "e<sub>a</sub><sup>21</sup>",
     [](const PaperColumn& c) { return c.ea21; }, Kind::Percent, true},
    {"$e_\\mathrm{ext}^{21}$", "e<sub>ext</sub><sup>21</sup>",
     [](const PaperColumn& c) { return c.eExt21; }, Kind::Percent, false},
    {"$\\mathrm{GCI}_\\mathrm{fine}^{21}$", "GCI<sub>fine</sub><sup>21</sup>",
     [](const PaperColumn& c) { return c.gciFine21; }, Kind::Percent, false},
};

constexpr int kMaxDigits = 17;  // enough to tell any two doubles apart
constexpr int kMinDigits = 3;

std::string scientific(double value, int digits) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*e", digits - 1, value);
  return text;
}

void dropTrailingZeros(std::string& text) {
  if (text.find('.') == std::string::npos) return;
  text.erase(text.find_last_not_of('0') + 1);
  if (text.back() == '.') text.pop_back();
}

// `value` to `digits` significant digits: fixed from 1e-4 to below 1e6, else m x 10^e.
std::string significant(double value, int digits, Style style, bool trim) {
  const std::string e = scientific(value, digits);
  const size_t mark = e.find('e');
  const int exponent = std::atoi(e.c_str() + mark + 1);
  std::string text;
  if (exponent >= -4 && exponent < 6) {
    char fixed[400];
    std::snprintf(fixed, sizeof fixed, "%.*f", std::max(0, digits - 1 - exponent), value);
    text = fixed;
    if (trim) dropTrailingZeros(text);
    return text;
  }
  text = e.substr(0, mark);
  if (trim) dropTrailingZeros(text);
  const std::string power = std::to_string(exponent);
  return style == Style::Latex ? text + "\\times 10^{" + power + "}"
                               : text + "×10<sup>" + power + "</sup>";
}

// The fewest significant digits that keep the distinct finite values distinct.
int distinguishingDigits(std::initializer_list<double> values) {
  std::vector<double> finite;
  for (double v : values) {
    if (std::isfinite(v)) finite.push_back(v);
  }
  for (int digits = 1; digits < kMaxDigits; ++digits) {
    bool distinct = true;
    for (size_t i = 0; i < finite.size() && distinct; ++i) {
      for (size_t j = i + 1; j < finite.size() && distinct; ++j) {
        distinct = finite[i] == finite[j] ||
                   scientific(finite[i], digits) != scientific(finite[j], digits);
      }
    }
    if (distinct) return digits;
  }
  return kMaxDigits;
}

int digitsOf(const Row& row, const PaperColumn& c) {
  switch (row.kind) {
    case Kind::Size:
      return std::max(kMinDigits, distinguishingDigits({c.size[0], c.size[1], c.size[2]}) + 1);
    case Kind::Phi:
      return std::min(
          kMaxDigits,
          std::max(kMinDigits, distinguishingDigits({c.phi1, c.phi2, c.phi3, c.phiExt21}) + 1));
    case Kind::Ratio:
      return 4;
    case Kind::Order:
    case Kind::Percent:
      break;
  }
  return 3;
}

std::string cell(const Row& row, const PaperColumn& c, bool cells, Style style) {
  const double value = row.get(c);
  if (!std::isfinite(value)) return style == Style::Latex ? "--" : "\u2013";
  std::string text;
  if (row.kind == Kind::Size && cells) {
    char whole[400];
    std::snprintf(whole, sizeof whole, "%.0f", value);
    text = whole;
  } else if (row.kind == Kind::Percent) {
    text = significant(100.0 * value, 3, style, false) + (style == Style::Latex ? "\\%" : "%");
  } else {
    text = significant(value, digitsOf(row, c), style, row.kind == Kind::Ratio);
  }
  return style == Style::Latex ? "$" + text + "$" : text;
}

std::string label(const Row& row, bool cells, Style style) {
  if (row.kind != Kind::Size) return style == Style::Latex ? row.latex : row.markdown;
  const char* letter = cells ? "N" : "h";
  return style == Style::Latex ? std::string("$") + letter + "_" + row.latex + "$"
                               : std::string(letter) + "<sub>" + row.markdown + "</sub>";
}

std::string escapeLatex(const std::string& name) {
  std::string out;
  for (const char ch : name) {
    switch (ch) {
      case '\\':
        out += "\\textbackslash{}";
        break;
      case '~':
        out += "\\textasciitilde{}";
        break;
      case '^':
        out += "\\textasciicircum{}";
        break;
      case '<':
        out += "\\textless{}";
        break;
      case '>':
        out += "\\textgreater{}";
        break;
      case '|':
        out += "\\textbar{}";
        break;
      case '_':
      case '%':
      case '&':
      case '#':
      case '$':
      case '{':
      case '}':
        out += '\\';
        out += ch;
        break;
      default:
        out += static_cast<unsigned char>(ch) < 0x20 ? ' ' : ch;
    }
  }
  return out;
}

std::string escapeMarkdown(const std::string& name) {
  std::string out;
  for (const char ch : name) {
    if (ch != '\0' && std::strchr("\\`*_[]<>|~", ch) != nullptr) {
      out += '\\';
      out += ch;
    } else if (ch == '&') {
      out += "&amp;";
    } else {
      out += static_cast<unsigned char>(ch) < 0x20 ? ' ' : ch;
    }
  }
  return out;
}

// The columns in tables of at most maxColumns each.
std::vector<std::span<const PaperColumn>> tables(std::span<const PaperColumn> columns,
                                                 int maxColumns) {
  const size_t width = static_cast<size_t>(std::max(1, maxColumns));
  std::vector<std::span<const PaperColumn>> out;
  for (size_t start = 0; start < columns.size(); start += width) {
    out.push_back(columns.subspan(start, std::min(width, columns.size() - start)));
  }
  return out;
}

std::string latexTabular(std::span<const PaperColumn> table, bool cells) {
  std::string out = "\\begin{tabular}{l" + std::string(table.size(), 'r') + "}\n\\toprule\n";
  for (const PaperColumn& c : table) out += " & " + escapeLatex(c.name);
  out += " \\\\\n\\midrule\n";
  for (const Row& row : kRows) {
    if (row.groupStart) out += "\\addlinespace\n";
    out += label(row, cells, Style::Latex);
    for (const PaperColumn& c : table) out += " & " + cell(row, c, cells, Style::Latex);
    out += " \\\\\n";
  }
  return out + "\\bottomrule\n\\end{tabular}\n";
}

std::string latexTables(std::span<const PaperColumn> columns, const PaperTableOptions& options,
                        const char* between) {
  std::string out;
  for (std::span<const PaperColumn> table : tables(columns, options.maxColumns)) {
    if (!out.empty()) out += between;
    out += latexTabular(table, options.cells);
  }
  return out;
}

}  // namespace

PaperColumn paperColumn(std::string name, const StandardResult& r) {
  PaperColumn c;
  c.name = std::move(name);
  c.size = {r.h1, r.h2, r.h3};
  c.r21 = r.r21;
  c.r32 = r.r32;
  c.phi1 = r.phi1;
  c.phi2 = r.phi2;
  c.phi3 = r.phi3;
  c.p = r.hasOrder() ? r.p : kNotANumber;
  c.phiExt21 = r.phiExt21;
  c.ea21 = r.ea21;
  c.eExt21 = r.eExt21;
  c.gciFine21 = r.gciFine21;
  return c;
}

PaperColumn paperColumn(std::string name, const StandardResult& r,
                        const std::array<double, 3>& cells) {
  PaperColumn c = paperColumn(std::move(name), r);
  c.size = cells;
  return c;
}

std::string paperTableLatex(std::span<const PaperColumn> columns,
                            const PaperTableOptions& options) {
  return latexTables(columns, options, "\n");
}

std::string paperTableLatexDocument(std::span<const PaperColumn> columns,
                                    const PaperTableOptions& options) {
  // geometry (texlive-latex-base): margins that leave six columns room on A4.
  return "\\documentclass{article}\n\\usepackage[a4paper,margin=15mm]{geometry}\n"
         "\\usepackage{booktabs}\n\\pagestyle{empty}\n"
         "\\begin{document}\n\\begin{center}\n" +
         latexTables(columns, options, "\n\\bigskip\n\n") + "\\end{center}\n\\end{document}\n";
}

std::string paperTableMarkdown(std::span<const PaperColumn> columns,
                               const PaperTableOptions& options) {
  std::string out;
  for (std::span<const PaperColumn> table : tables(columns, options.maxColumns)) {
    if (!out.empty()) out += "\n";
    out += "| ";
    for (const PaperColumn& c : table) out += " | " + escapeMarkdown(c.name);
    out += " |\n| ---";
    for (size_t k = 0; k < table.size(); ++k) out += " | ---:";
    out += " |\n";
    for (const Row& row : kRows) {
      out += "| " + label(row, options.cells, Style::Markdown);
      for (const PaperColumn& c : table)
        out += " | " + cell(row, c, options.cells, Style::Markdown);
      out += " |\n";
    }
  }
  return out;
}

}  // namespace kv::study
