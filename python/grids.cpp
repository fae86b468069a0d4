#include "grids.h"

#include <algorithm>
#include <cmath>
#include <numeric>

#include "study/study.h"

namespace kv::python {

namespace {

std::vector<double> permuted(const std::vector<double>& v, const std::vector<size_t>& order) {
  std::vector<double> out;
  out.reserve(order.size());
  for (size_t k : order) out.push_back(v[k]);
  return out;
}

}  // namespace

std::vector<double> Grids::hFinestFirst() const { return permuted(h, finestFirst); }

std::vector<double> Grids::cellsFinestFirst() const { return cells.empty() ? cells : permuted(cells, finestFirst); }

Grids readGrids(const std::optional<std::vector<double>>& h, const std::optional<std::vector<double>>& cells,
                int dimension, const std::vector<std::string>& labels) {
  if (h && cells) throw OptionError("give the grids by h or by cells, not both");
  if (!h && !cells) throw OptionError("give the spacings h (or the cell counts cells with dim)");
  const char* name = h ? "h" : "cells";
  const std::vector<double>& given = h ? *h : *cells;
  auto label = [&](size_t k) { return k < labels.size() ? labels[k] : std::string(name) + "[" + std::to_string(k) + "]"; };
  Grids g;
  g.dimension = cells ? dimension : 0;
  for (size_t k = 0; k < given.size(); ++k) {
    if (!std::isfinite(given[k]) || given[k] <= 0.0) {
      throw OptionError(label(k) + " = " + numberText(given[k]) + ": it must be a positive, finite number");
    }
    g.h.push_back(cells ? std::pow(given[k], -1.0 / dimension) : given[k]);
  }
  if (cells) g.cells = given;
  if (g.h.size() < 2) {
    throw OptionError("only " + std::to_string(g.h.size()) +
                      " grid: a study needs the values of two grids at least (three for an observed order)");
  }
  g.finestFirst.resize(g.h.size());
  std::iota(g.finestFirst.begin(), g.finestFirst.end(), size_t{0});
  std::stable_sort(g.finestFirst.begin(), g.finestFirst.end(), [&](size_t a, size_t b) { return g.h[a] < g.h[b]; });
  for (size_t k = 1; k < g.finestFirst.size(); ++k) {
    const size_t a = std::min(g.finestFirst[k - 1], g.finestFirst[k]), b = std::max(g.finestFirst[k - 1], g.finestFirst[k]);
    if (g.h[a] == g.h[b]) {
      throw OptionError(label(b) + " gives the grid the same h as " + label(a) + " (" + numberText(g.h[a]) +
                        "): give each grid once");
    }
  }
  return g;
}

void checkValues(const Grids& grids, const std::vector<double>& values, const std::string& what) {
  if (values.size() != grids.size()) {
    throw OptionError(what + " has " + std::to_string(values.size()) + " values for " + std::to_string(grids.size()) +
                      " grids: give one value per grid");
  }
  for (size_t k = 0; k < values.size(); ++k) {
    if (!std::isfinite(values[k])) {
      throw OptionError(what + "[" + std::to_string(k) + "] = " + numberText(values[k]) +
                        " is not a finite number: every grid needs a value");
    }
  }
}

}  // namespace kv::python
