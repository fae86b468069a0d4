// FormattedRecordWriter: a sequential text file written record by record through formats.
// Every record ends with CR LF; the file is opened with the open-or-create disposition and
// written from its start, so nothing of an older file of that name remains after the last
// record written. A file that is rewritten from its own earlier content (a plot script) is
// written as a replacement instead: it keeps its older content until the new one is complete.
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
  enum class Mode {
    InPlace,  // the file itself is opened for writing
    // The records go to a temporary file beside it (`fileName` + kPartialSuffix, beside the
    // file a symbolic link names), which takes the file's place when closed. A write that
    // fails removes the temporary file and leaves the file as it was.
    Replace,
  };
  static constexpr const char* kPartialSuffix = ".partial";

  // Opens `fileName` (as given) for writing; ends the run with the open-failure line when the
  // file cannot be opened or created, or its name holds a control character.
  FormattedRecordWriter(int unit, std::string fileName, Mode mode = Mode::InPlace);
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
  // Ends the run with the write-failure line, after removing the temporary file of a
  // replacement.
  [[noreturn]] void failWrite();

  std::FILE* file_ = nullptr;
  int unit_;
  std::string fileName_;
  std::string target_;     // a replacement: the file replaced (a symbolic link followed)
  std::string temporary_;  // a replacement: the file written

  std::vector<char> buffer_;
};

}  // namespace kv
