#include "report/paper_table.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "temp_folder.h"

namespace kv::study {
namespace {

// Celik et al. 2008, Table 1, column 1: N = 18000, 8000, 4500 in 2D; phi = 6.063, 5.972, 5.863.
PaperColumn celik(std::string name) {
  std::vector<double> h;
  for (double n : {18000.0, 8000.0, 4500.0}) h.push_back(1.0 / std::sqrt(n));
  const StandardResult r = standardProcedure(h, std::vector{6.063, 5.972, 5.863}, kNotANumber, {});
  return paperColumn(std::move(name), r, {18000, 8000, 4500});
}

// Cells of a Markdown row: the '|' not escaped by '\', less the outer two.
size_t markdownCells(const std::string& line) {
  size_t bars = 0;
  for (size_t k = 0; k < line.size(); ++k)
    bars += line[k] == '|' && (k == 0 || line[k - 1] != '\\');
  return bars - 1;
}

// The published column as it reads in a paper: phi to the digits that tell phi1, phi2, phi3 and
// phi_ext21 apart (2) plus one, p to 3, the errors as percentages to 3 significant digits.
TEST(PaperTable, CelikColumnInMarkdown) {
  const std::vector<PaperColumn> columns{celik("Celik 1")};
  EXPECT_EQ(paperTableMarkdown(columns, {.cells = true}),
            "|  | Celik 1 |\n| --- | ---: |\n"
            "| N<sub>1</sub> | 18000 |\n| N<sub>2</sub> | 8000 |\n| N<sub>3</sub> | 4500 |\n"
            "| r<sub>21</sub> | 1.5 |\n| r<sub>32</sub> | 1.333 |\n"
            "| φ<sub>1</sub> | 6.06 |\n| φ<sub>2</sub> | 5.97 |\n| φ<sub>3</sub> | 5.86 |\n"
            "| p | 1.53 |\n| φ<sub>ext</sub><sup>21</sup> | 6.17 |\n"
            "| e<sub>a</sub><sup>21</sup> | 1.50% |\n| e<sub>ext</sub><sup>21</sup> | 1.71% |\n"
            "| GCI<sub>fine</sub><sup>21</sup> | 2.17% |\n");
}

// Eight quantities, six to a table: two tables of 1 + 6 and 1 + 2 cells on every line; names
// with '|' escaped; a quantity without an order shows en dashes.
TEST(PaperTable, SplitsEscapesAndDashes) {
  std::vector<PaperColumn> columns(7, celik("a|b"));
  columns.push_back(paperColumn(
      "diverging",
      standardProcedure(std::vector{1.0, 2.0, 4.0}, std::vector{1.0, 2.0, 2.5}, kNotANumber, {})));
  const std::string markdown = paperTableMarkdown(columns, {});
  std::vector<size_t> widths;
  size_t begin = 0, tablesSeen = 1;
  for (size_t end; (end = markdown.find('\n', begin)) != std::string::npos; begin = end + 1) {
    const std::string line = markdown.substr(begin, end - begin);
    if (line.empty()) {
      ++tablesSeen;
    } else {
      EXPECT_EQ(markdownCells(line), tablesSeen == 1 ? 7u : 3u) << line;
    }
  }
  EXPECT_EQ(tablesSeen, 2u);
  EXPECT_NE(markdown.find(" | a\\|b | "), std::string::npos);
  EXPECT_NE(markdown.find("| p | 1.53 | \u2013 |"), std::string::npos);
  const std::string latex = paperTableLatex(columns, {});
  EXPECT_NE(latex.find("$p$ & $1.53$ & --"), std::string::npos);
  EXPECT_NE(latex.find("$\\phi_\\mathrm{ext}^{21}$ & $6.17$"), std::string::npos);
}

TEST(PaperTable, EscapesNamesForLatexAndMarkdown) {
  const std::vector<PaperColumn> columns{celik("u_x 100% & #1 $ {a} ~^\\ <>")};
  EXPECT_NE(paperTableLatex(columns, {})
                .find(" & u\\_x 100\\% \\& \\#1 \\$ \\{a\\} \\textasciitilde{}\\textasciicircum{}"
                      "\\textbackslash{} \\textless{}\\textgreater{} \\\\"),
            std::string::npos);
  EXPECT_NE(paperTableMarkdown(columns, {}).find(" | u\\_x 100% &amp; #1 $ {a} \\~^\\\\ \\<\\> |"),
            std::string::npos);
}

// The standalone document compiles (pdflatex from texlive-latex-base, booktabs.sty from
// texlive-latex-recommended), with names that need every escape and a second table.
TEST(PaperTable, LatexDocumentCompiles) {
  testing_support::TempFolder folder("paper_table");
  if (std::system("pdflatex --version > version.txt 2>&1") != 0) {
    GTEST_SKIP() << "pdflatex not found (Debian: texlive-latex-base, texlive-latex-recommended)";
  }
  std::vector<PaperColumn> columns(4, celik("u_x 100% & #1 $ {a} ~^\\ <>|"));
  columns.push_back(paperColumn(
      "two grids",
      standardProcedure(std::vector{1.0, 2.0}, std::vector{1.0, 1.3}, kNotANumber, {})));
  testing_support::writeBytes("table.tex", paperTableLatexDocument(columns, {.maxColumns = 3}));
  ASSERT_EQ(
      std::system("pdflatex -interaction=nonstopmode -halt-on-error table.tex > log.txt 2>&1"), 0)
      << testing_support::fileBytes("log.txt");
  EXPECT_GT(testing_support::fileBytes("table.pdf").size(), 1000u);
}

}  // namespace
}  // namespace kv::study
