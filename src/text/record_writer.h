// FormattedRecordWriter: a sequential text file written record by record through formats.
// Every record ends with CR LF; the file is opened with the open-or-create disposition and
// written from its start, so nothing of an older file of that name remains after the last
// record written.
#pragma once

#include <cstdio>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "text/format.h"

namespace kv {

// The units of the run: input files, the listing, the plot files and scripts. A unit number
// appears only in fatal error lines.
inline constexpr int kInputUnit = 7;
inline constexpr int kListingUnit = 10;
inline constexpr int kPlotUnit = 11;

class FormattedRecordWriter final : public RecordSink {
 public:
  // Opens `fileName` (as given) for writing; ends the run with the open-failure line when the
  // file cannot be opened or created.
  FormattedRecordWriter(int unit, std::string fileName);
  ~FormattedRecordWriter();
  FormattedRecordWriter(const FormattedRecordWriter&) = delete;
  FormattedRecordWriter& operator=(const FormattedRecordWriter&) = delete;

  // One write statement: the records that `format` produces from `items`.
  void write(const Format& format, std::span<const FormatItem> items);
  void write(const Format& format, std::initializer_list<FormatItem> items) {
    write(format, std::span<const FormatItem>(items.begin(), items.size()));
  }

  // Writes `bytes` unchanged (lines kept from the file's earlier content).
  void writeBytes(std::string_view bytes);

  // Flushes and closes the file; a failure ends the run with the write-failure line.
  void close();

  int unit() const { return unit_; }
  const std::string& fileName() const { return fileName_; }

  void putRecord(std::string_view record) override;

 private:
  std::FILE* file_ = nullptr;
  int unit_;
  std::string fileName_;
  std::vector<char> buffer_;
};

}  // namespace kv
