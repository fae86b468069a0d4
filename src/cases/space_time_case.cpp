#include "cases/space_time_case.h"

#include <algorithm>
#include <cmath>
#include <set>

#include "cases/study_case.h"
#include "text/csv.h"
#include "text/utf8.h"

namespace kv::study {

namespace {

constexpr std::string_view kIterErr = "iter_err";

// What a column of a space-time table holds.
struct SpaceTimeColumn {
  enum class Kind { Value, IterErrAll, IterErrOne } kind = Kind::Value;
  size_t quantity = 0;  // Value, IterErrOne: the index of the quantity
  std::string name;     // IterErrOne: the quantity it names, until resolved
};

class SpaceTimeParser {
 public:
  SpaceTimeParser(const std::string& file, const CsvOptions& options)
      : table_(file, options, "run") {
    c_.file = file;
  }

  SpaceTimeCase parse(std::string_view text) {
    CsvLines lines(text);
    std::string_view line;
    size_t number = 0;
    if (!lines.next(line, number))
      table_.fail(1,
                  "the file holds no data: write a header row (h,dt,name,...) and one row per run");
    header(line, number);
    size_t lastLine = number;
    while (lines.next(line, number)) {
      row(line, number);
      lastLine = number;
    }
    if (c_.h.size() < 3) {
      table_.fail(
          lastLine,
          std::to_string(c_.h.size()) + (c_.h.size() == 1 ? " run" : " runs") +
              ": a space-time study needs three runs at least (three at one Courant number, five "
              "or more otherwise)");
    }
    finestFirst();
    return std::move(c_);
  }

 private:
  void header(std::string_view line, size_t number) {
    const CsvLine& fields = table_.header(line, number);
    if (fields.size() < 2 || !csvKeyword(fields[1], "dt")) {
      table_.fail(number,
                  "the second column of a space-time table is dt, the time step of each run");
    }
    std::set<std::string> seen, iterSeen;
    for (size_t k = 2; k < fields.size(); ++k) {
      SpaceTimeColumn column;
      const std::string_view field = fields[k];
      if (csvKeyword(field, kIterErr) ||
          csvKeyword(field.substr(0, kIterErr.size() + 1), "iter_err:")) {
        const bool all = field.size() == kIterErr.size();
        column.kind = all ? SpaceTimeColumn::Kind::IterErrAll : SpaceTimeColumn::Kind::IterErrOne;
        column.name = all ? std::string() : toUtf8(field.substr(kIterErr.size() + 1));
        if (!iterSeen.insert(column.name).second) {
          table_.fail(number, "two iterative-error columns for " +
                                  (all ? std::string("every quantity (iter_err)")
                                       : "'" + column.name + "'") +
                                  ": keep one");
        }
      } else {
        column.quantity = c_.quantities.size();
        c_.quantities.push_back({table_.quantityName(field, k, number, seen), {}, kNotANumber, {}});
      }
      columns_.push_back(std::move(column));
    }
    if (c_.quantities.empty()) {
      table_.fail(number,
                  "the header has no quantity column: name one column per quantity after h,dt, "
                  "separated by , ; or tab");
    }
    if (c_.quantities.size() > kMaxSpaceTimeQuantities) {
      table_.fail(number, std::to_string(c_.quantities.size()) +
                              " quantities: a space-time table holds at most " +
                              std::to_string(kMaxSpaceTimeQuantities) +
                              " (each is fitted apart): split the table");
    }
    for (SpaceTimeColumn& column : columns_) {
      if (column.kind != SpaceTimeColumn::Kind::IterErrOne) continue;
      const auto named =
          std::find_if(c_.quantities.begin(), c_.quantities.end(),
                       [&](const SpaceTimeQuantity& q) { return q.name == column.name; });
      if (named == c_.quantities.end()) {
        table_.fail(number,
                    "the column 'iter_err:" + column.name +
                        "' names no quantity column: write iter_err:NAME with the name of one");
      }
      column.quantity = static_cast<size_t>(named - c_.quantities.begin());
    }
    c_.dimension = table_.cells() ? table_.dimension() : 0;
  }

  void row(std::string_view line, size_t number) {
    const CsvLine& fields = table_.row(line, number);
    if (csvKeyword(fields[0], "exact")) {
      if (exactLine_ != 0) {
        table_.fail(number, "a second exact row (the first is line " + std::to_string(exactLine_) +
                                "): keep one");
      }
      exactLine_ = number;
      if (!fields[1].empty())
        table_.fail(number, "the exact row has no time step: leave its dt field empty");
      for (size_t k = 2; k < fields.size(); ++k) {
        const SpaceTimeColumn& column = columns_[k - 2];
        if (column.kind != SpaceTimeColumn::Kind::Value) {
          if (!fields[k].empty())
            table_.fail(number, "the exact row has no iterative error: leave its " +
                                    header(column) + " field empty");
          continue;
        }
        SpaceTimeQuantity& q = c_.quantities[column.quantity];
        q.exact = table_.exactValue(fields[k], number, q.name);
      }
      return;
    }
    if (c_.h.size() == kMaxSpaceTimeRuns) {
      table_.fail(number, "more than " + std::to_string(kMaxSpaceTimeRuns) +
                              " runs: a space-time table holds at most " +
                              std::to_string(kMaxSpaceTimeRuns));
    }
    double cells = 0.0;
    c_.h.push_back(table_.spacing(fields[0], number, cells));
    if (table_.cells()) c_.cells.push_back(cells);
    const double dt = table_.number(fields[1], number, "dt");
    if (!std::isfinite(dt) || dt <= 0.0) {
      table_.fail(number,
                  "dt = '" + std::string(fields[1]) + "': it must be a positive, finite number");
    }
    c_.dt.push_back(dt);
    c_.lines.push_back(number);
    const size_t run = c_.lines.size() - 1;
    iterAll_.push_back(kNotANumber);
    for (size_t k = 2; k < fields.size(); ++k) {
      const SpaceTimeColumn& column = columns_[k - 2];
      if (column.kind == SpaceTimeColumn::Kind::Value) {
        SpaceTimeQuantity& q = c_.quantities[column.quantity];
        q.values.push_back(table_.value(fields[k], number, q.name));
        continue;
      }
      double e = kNotANumber;
      if (!fields[k].empty()) e = table_.number(fields[k], number, header(column));
      if (std::isinf(e) || (!fields[k].empty() && std::isnan(e))) {
        table_.fail(number, "column '" + header(column) + "': '" + std::string(fields[k]) +
                                "' is not a finite number: leave the field empty where the "
                                "iterative error is unknown");
      }
      if (column.kind == SpaceTimeColumn::Kind::IterErrAll) {
        iterAll_[run] = e;
        continue;
      }
      std::vector<double>& own = c_.quantities[column.quantity].iterErr;
      own.resize(run + 1, kNotANumber);
      own[run] = e;
    }
  }

  static std::string header(const SpaceTimeColumn& column) {
    return column.kind == SpaceTimeColumn::Kind::IterErrAll
               ? std::string(kIterErr)
               : std::string(kIterErr) + ":" + column.name;
  }

  // Runs by h, then dt; the iterative errors of `iter_err` go to the quantities without their own.
  void finestFirst() {
    const bool all = std::any_of(columns_.begin(), columns_.end(), [](const SpaceTimeColumn& c) {
      return c.kind == SpaceTimeColumn::Kind::IterErrAll;
    });
    std::vector<bool> own(c_.quantities.size(), false);
    for (const SpaceTimeColumn& column : columns_) {
      if (column.kind == SpaceTimeColumn::Kind::IterErrOne) own[column.quantity] = true;
    }
    for (size_t k = 0; k < c_.quantities.size(); ++k) {
      if (!own[k] && all) c_.quantities[k].iterErr = iterAll_;
    }
    const std::vector<size_t> order = finestFirstOrder(table_.rows(), c_.h, c_.dt, c_.lines);
    permuteRows(c_.h, order);
    permuteRows(c_.dt, order);
    permuteRows(c_.cells, order);
    permuteRows(c_.lines, order);
    for (SpaceTimeQuantity& q : c_.quantities) {
      permuteRows(q.values, order);
      permuteRows(q.iterErr, order);
    }
  }

  CsvTable table_;
  SpaceTimeCase c_;
  std::vector<SpaceTimeColumn> columns_;  // the columns after h,dt
  std::vector<double> iterAll_;           // per run, from the column iter_err
  size_t exactLine_ = 0;
};

}  // namespace

bool isSpaceTimeTable(std::string_view text) {
  CsvLine fields;
  return csvHeader(text, fields) && fields.size() >= 2 && (csvKeyword(fields[0], "h") || csvKeyword(fields[0], "cells")) &&
         csvKeyword(fields[1], "dt");
}

SpaceTimeCase parseSpaceTimeCase(std::string_view text, const std::string& file,
                                 const CsvOptions& options) {
  return SpaceTimeParser(file, options).parse(text);
}

}  // namespace kv::study
