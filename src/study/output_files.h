// Writing the outputs of a study all or nothing: every file is written under a temporary name
// beside its final one and renamed only when all are complete. Files the study did not write
// are never removed. Temporary files, and the folders made for them, are also removed when the
// process is interrupted (Ctrl-C, a kill), so an interrupted study leaves nothing behind.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "field/output_file.h"

namespace kv::study {

struct OutputFile {
  std::string name;
  std::string content;
};

// The outputs of one study in one folder. Uncommitted (a failure, an early return), it removes
// its temporary files and the folders it created.
class OutputSet {
 public:
  explicit OutputSet(std::filesystem::path folder) : folder_(std::move(folder)) {}
  OutputSet(const OutputSet&) = delete;
  OutputSet& operator=(const OutputSet&) = delete;
  ~OutputSet() { discard(); }

  // Creates the folder and its missing parents; the message says what failed.
  std::optional<std::string> create();
  // Opens the temporary file of the output `name` (create() first); nullptr on failure, with
  // the message in `failure`. The file stays owned by the set.
  field::OutputFile* open(const std::string& name, std::string& failure);
  // Renames every output to its final name. Only files are replaced: a folder in the place of
  // an output stops the study before any output is renamed.
  std::optional<std::string> commit();
  void discard();

  const std::filesystem::path& folder() const { return folder_; }

 private:
  std::filesystem::path folder_;
  std::vector<std::filesystem::path> created_;  // outermost first
  std::vector<int> createdSlots_;
  std::vector<std::string> names_;
  std::vector<std::unique_ptr<field::OutputFile>> files_;
  bool committed_ = false;
};

// Writes `files` into `folder` (created when missing). On failure nothing of them is left
// (temporary files and a folder created here are removed) and the message says what failed.
std::optional<std::string> writeOutputs(const std::filesystem::path& folder,
                                        std::span<const OutputFile> files);

// An output that would take the place of an input (`--out .` beside a case named summary.csv,
// a case kept in its own output folder): the first of `inputs`, as named, that one of the
// outputs `names` of `folder` is. "-" (standard input) is never one.
std::optional<std::string> outputOverInput(const std::filesystem::path& folder,
                                           std::span<const std::string_view> names,
                                           std::span<const std::string> inputs);

}  // namespace kv::study
