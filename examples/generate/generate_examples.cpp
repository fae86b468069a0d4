// Writes the grid files and the exact-solution file of the two example cases.
//
//   g++ -std=c++20 -O2 -o gen examples/generate/generate_examples.cpp
//   ./gen examples
//
// The argument is the examples folder (default: the current directory); the files go to its
// subfolders trapezoid/ and variable_ratio/, which must exist. Every number is written with 17
// significant digits, so a grid value reads back as exactly the double that was computed.
//
// Case "trapezoid": three integrals on [0,1] computed with the composite trapezoidal rule on
// 1, 2, 4, ..., 128 intervals (grid ratio 2). The integrands are smooth but not periodic, so the
// error has the full Euler-Maclaurin expansion C1 h^2 + C2 h^4 + C3 h^6 + ... (pL = 2,
// deltaP = 2). The exact values go to exact.txt.
//
// Case "variable_ratio": steady 1D convection-diffusion, Pe du/dx = d2u/dx2 on [0,1] with
// u(0) = 0, u(1) = 1, Pe = 10, discretised with second-order central differences on uniform
// grids of 8, 12, 20, 32, 48, 80 and 128 cells (refinement ratios 1.5, 5/3 and 1.6 in turn) and
// solved with the tridiagonal (Thomas) algorithm. Three quantities of the discrete solution are
// written per grid; no exact-solution file is written for this case.

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <numbers>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// One analysed quantity of a grid: the value and a short description for the file.
struct Quantity {
  long double value;
  std::string description;
};

// A real with 17 significant digits in the E form, e.g. 6.9314718055994531E-01. Grid values
// are doubles and are written exactly enough to read back unchanged; the exact values are
// carried in extended precision and written correctly rounded.
std::string real17(long double value) {
  char text[48];
  std::snprintf(text, sizeof text, "%24.16LE", value);
  return text;
}

// Value records: one per quantity, "index  value  description". The reader of these files takes
// the integer and the real of a record and skips the rest of the line.
void writeValueRecords(std::ofstream& out, const std::vector<Quantity>& quantities) {
  for (std::size_t k = 0; k < quantities.size(); ++k) {
    out << "  " << (k + 1) << ' ' << real17(quantities[k].value) << "   "
        << quantities[k].description << '\n';
  }
}

bool writeGridFile(const fs::path& file, double h, const std::string& gridText,
                   const std::vector<Quantity>& quantities) {
  std::ofstream out(file);
  out << real17(h) << "      grid spacing h: " << gridText << '\n';
  writeValueRecords(out, quantities);
  out.close();
  if (!out) std::cerr << "generate_examples: cannot write " << file.string() << '\n';
  return static_cast<bool>(out);
}

bool writeExactFile(const fs::path& file, const std::vector<Quantity>& quantities) {
  std::ofstream out(file);
  writeValueRecords(out, quantities);
  out.close();
  if (!out) std::cerr << "generate_examples: cannot write " << file.string() << '\n';
  return static_cast<bool>(out);
}

// ---------------------------------------------------------------------------------------------
// Case 1: composite trapezoidal rule

struct Integrand {
  double (*f)(long double);  // the integrand, evaluated in extended precision
  long double exact;         // its integral over [0,1]
  const char* description;
};

double expIntegrand(long double x) { return static_cast<double>(std::exp(x)); }
double inverseIntegrand(long double x) { return static_cast<double>(1.0L / (1.0L + x)); }
double cosIntegrand(long double x) { return static_cast<double>(std::cos(x)); }

// Composite trapezoidal rule on [0,1] with n intervals. The integrand values are rounded to
// double like those of any solver; the sum is accumulated in extended precision so that the
// round-off stays far below the discretisation error of the finest grid.
double trapezoid(double (*f)(long double), int n) {
  const long double h = 1.0L / n;
  long double sum = 0.5L * (f(0.0L) + f(1.0L));
  for (int j = 1; j < n; ++j) sum += f(j * h);
  return static_cast<double>(h * sum);
}

bool writeTrapezoidCase(const fs::path& folder) {
  const Integrand integrands[] = {
      {expIntegrand, std::numbers::e_v<long double> - 1.0L, "integral of exp(x) on [0,1]"},
      {inverseIntegrand, std::numbers::ln2_v<long double>, "integral of 1/(1+x) on [0,1]"},
      {cosIntegrand, std::sin(1.0L), "integral of cos(x) on [0,1]"},
  };
  bool ok = true;
  const int gridCount = 8;
  for (int g = 1; g <= gridCount; ++g) {
    const int n = 1 << (g - 1);  // 1, 2, 4, ..., 128 intervals
    std::vector<Quantity> quantities;
    for (const Integrand& integrand : integrands) {
      quantities.push_back({trapezoid(integrand.f, n), integrand.description});
    }
    const std::string gridText = std::to_string(n) + (n == 1 ? " interval" : " intervals");
    ok &= writeGridFile(folder / ("grid" + std::to_string(g) + ".txt"), 1.0 / n, gridText,
                        quantities);
  }
  std::vector<Quantity> exact;
  for (const Integrand& integrand : integrands) {
    exact.push_back({integrand.exact, integrand.description});
  }
  ok &= writeExactFile(folder / "exact.txt", exact);
  return ok;
}

// ---------------------------------------------------------------------------------------------
// Case 2: 1D convection-diffusion with central differences

constexpr double kPeclet = 10.0;

// Nodal solution u_0..u_n of Pe u' = u'' on [0,1], u(0) = 0, u(1) = 1, second-order central
// differences on n uniform cells:
//   (1 + Pe h/2) u_{j-1} - 2 u_j + (1 - Pe h/2) u_{j+1} = 0,  j = 1..n-1.
std::vector<double> solveConvectionDiffusion(int n) {
  const double h = 1.0 / n;
  const double lower = 1.0 + 0.5 * kPeclet * h;  // coefficient of u_{j-1}
  const double diagonal = -2.0;
  const double upper = 1.0 - 0.5 * kPeclet * h;  // coefficient of u_{j+1}
  std::vector<double> u(n + 1, 0.0);
  u[0] = 0.0;
  u[n] = 1.0;
  // Thomas algorithm on the n-1 interior unknowns: forward elimination, back substitution.
  std::vector<double> c(n + 1, 0.0), d(n + 1, 0.0);
  for (int j = 1; j < n; ++j) {
    double rhs = 0.0;
    if (j == 1) rhs -= lower * u[0];
    if (j == n - 1) rhs -= upper * u[n];
    const double pivot = diagonal - (j > 1 ? lower * c[j - 1] : 0.0);
    c[j] = upper / pivot;
    d[j] = (rhs - (j > 1 ? lower * d[j - 1] : 0.0)) / pivot;
  }
  for (int j = n - 1; j >= 1; --j) u[j] = d[j] - (j < n - 1 ? c[j] * u[j + 1] : 0.0);
  return u;
}

bool writeVariableRatioCase(const fs::path& folder) {
  const int cells[] = {8, 12, 20, 32, 48, 80, 128};
  bool ok = true;
  int g = 0;
  for (const int n : cells) {
    ++g;
    const double h = 1.0 / n;
    const std::vector<double> u = solveConvectionDiffusion(n);
    // 1: the value at the mid-point x = 1/2 (a node: every n is even).
    const double midValue = u[n / 2];
    // 2: the gradient at the outflow boundary x = 1, second-order one-sided difference.
    const double outflowGradient = (3.0 * u[n] - 4.0 * u[n - 1] + u[n - 2]) / (2.0 * h);
    // 3: the mean of u over the domain, trapezoidal rule on the nodes.
    double mean = 0.5 * (u[0] + u[n]);
    for (int j = 1; j < n; ++j) mean += u[j];
    mean *= h;
    ok &= writeGridFile(folder / ("grid" + std::to_string(g) + ".txt"), h,
                        std::to_string(n) + " cells",
                        {{midValue, "u at x = 0.5"},
                         {outflowGradient, "du/dx at the outflow x = 1"},
                         {mean, "mean of u over [0,1]"}});
  }
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  const fs::path examples = argc > 1 ? fs::path(argv[1]) : fs::path(".");
  bool ok = true;
  for (const char* name : {"trapezoid", "variable_ratio"}) {
    if (!fs::is_directory(examples / name)) {
      std::cerr << "generate_examples: no folder " << (examples / name).string() << '\n';
      ok = false;
    }
  }
  if (!ok) return 1;
  ok &= writeTrapezoidCase(examples / "trapezoid");
  ok &= writeVariableRatioCase(examples / "variable_ratio");
  return ok ? 0 : 1;
}
