// Tables for a paper in the layout of Celik et al. (2008, J. Fluids Eng. 130, 078001), Table 1:
// one column per quantity, the rows
//
//   N1, N2, N3 (or h1, h2, h3), r21, r32, phi1, phi2, phi3, p, phi_ext21, e_a21, e_ext21,
//   GCI_fine21,
//
// at most `maxColumns` quantities to a table, the rest in further tables. Written as LaTeX
// (booktabs; standalone with Debian's texlive-latex-base and texlive-latex-recommended, which
// holds booktabs.sty) and as a GitHub Markdown pipe table.
//
// Digits, per row (grid 1 the finest):
//   N              whole numbers;
//   h              as many significant digits as distinguish h1, h2, h3, plus one (at least 3);
//   r21, r32       4 significant digits, trailing zeros dropped (1.5, 1.333);
//   phi1..phi_ext  per quantity, as many significant digits as distinguish phi1, phi2, phi3 and
//                  phi_ext21 (values that are equal stay equal), plus one, at least 3: the last
//                  digit resolves the smallest change;
//   p              3 significant digits;
//   e_a21, e_ext21, GCI_fine21   percentages to 3 significant digits.
// Magnitudes from 1e-4 to below 1e6 are written in fixed notation, others as m x 10^e. A value
// that does not exist (no observed order, ...) is an en dash.
//
// Pure functions; no state, safe to call from any thread.
#pragma once

#include <array>
#include <span>
#include <string>

#include "estimation/standard_procedure.h"

namespace kv::study {

// One quantity. NaN where a value does not exist.
struct PaperColumn {
  std::string name;
  std::array<double, 3> size{kNotANumber, kNotANumber, kNotANumber};  // N1..N3 or h1..h3
  double r21 = kNotANumber, r32 = kNotANumber;
  double phi1 = kNotANumber, phi2 = kNotANumber, phi3 = kNotANumber;
  double p = kNotANumber, phiExt21 = kNotANumber;
  double ea21 = kNotANumber, eExt21 = kNotANumber, gciFine21 = kNotANumber;  // fractions
};

// The column of a result, with the spacings h1, h2, h3 as sizes.
PaperColumn paperColumn(std::string name, const StandardResult& r);

// The same with cell counts N1, N2, N3 as sizes.
PaperColumn paperColumn(std::string name, const StandardResult& r,
                        const std::array<double, 3>& cells);

struct PaperTableOptions {
  bool cells = false;  // the sizes are cell counts N (else spacings h)
  int maxColumns = 6;  // quantities to a table (at least 1)
};

// The tables as LaTeX tabular environments (booktabs rules), blank-line separated, to paste into
// a paper; names escaped, row labels in math mode.
std::string paperTableLatex(std::span<const PaperColumn> columns, const PaperTableOptions& options);

// The same tables in a document that pdflatex compiles on its own.
std::string paperTableLatexDocument(std::span<const PaperColumn> columns,
                                    const PaperTableOptions& options);

// The tables as GitHub Markdown pipe tables, blank-line separated; names escaped.
std::string paperTableMarkdown(std::span<const PaperColumn> columns,
                               const PaperTableOptions& options);

}  // namespace kv::study
