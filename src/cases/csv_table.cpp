#include "cases/csv_table.h"

#include "cases/study_case.h"

namespace kv::study {

CsvTable::CsvTable(const std::string& file, const CsvOptions& options, std::string row)
    : TableRules(TableRows(displayName(file)), std::move(row), false, options.dimension), options_(options) {}

const CsvLine& CsvTable::header(std::string_view line, size_t number) {
  delimiter_ = csvDelimiter(line);
  fields_.split(line, delimiter_);
  const std::string_view first = fields_[0];
  const bool cells = csvKeyword(first, "cells");
  if (first.empty() && fields_.size() > 1 && (csvKeyword(fields_[1], "h") || csvKeyword(fields_[1], "cells"))) {
    refuseIndexColumn(number, "", fields_[1]);
  }
  if (!cells && !csvKeyword(first, "h")) {
    fail(number,
         "missing header: the first row must name the columns, starting with h "
         "(spacing) or cells (cell count), e.g. h,drag,lift; found '" +
             std::string(first) + "'");
  }
  if (!cells && options_.cells) {
    fail(number, "--cells was given but the first column is h: name it cells, or drop --cells");
  }
  cells_ = cells;
  if (cells_ && dimension_ == 0) {
    fail(number,
         "the first column holds cell counts: give --cells --dim D (D = 1, 2 or 3) so that h = "
         "cells^(-1/D)");
  }
  columns_ = fields_.size();
  return fields_;
}

const CsvLine& CsvTable::row(std::string_view line, size_t number) {
  fields_.split(line, delimiter_);
  if (fields_.size() != columns_) {
    std::string message = std::to_string(fields_.size()) + " fields, but the header has " +
                          std::to_string(columns_) + " columns: give one value per column";
    if (delimiter_ == ',' && fields_.size() > columns_)
      message += " (a decimal comma? write 0.1, not 0,1)";
    fail(number, message);
  }
  return fields_;
}

}  // namespace kv::study
