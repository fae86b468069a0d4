// The outputs of one run in one folder, written all or nothing: every output is written under
// its temporary name (temp_file.h) and renamed into place only when all are complete; on a
// failure, an early return or an interruption none is left, and a folder the run created is
// removed again. Files the run did not write are never removed, but for stale temporaries of the
// tool's outputs left by a run of this machine that no longer runs (a kill -9, a power cut).
//
// The commit replaces a complete earlier set by the complete new one, or leaves the earlier one:
//   1. every new output is closed (its bytes written out);
//   2. a journal is written: each output's name and, when it has an earlier version, the name of
//      that version's backup (FOLDER/.kv-commit.HOST.PID.part);
//   3. each earlier version is renamed to its backup (FOLDER/.NAME.old.HOST.PID.part);
//   4. each new output is renamed into place;
//   5. the journal is removed: the commit is done; then the backups are removed.
// A failure at any step before 5 puts the earlier versions back and removes the new ones.
// Interruptions (Ctrl-C, SIGTERM) are held back during the commit. A process that ends halfway
// nevertheless (kill -9, a power cut) leaves its journal: the next set created in the folder
// finds it, and puts the earlier versions back before anything else.
//
// An output may lie in a subfolder one level down ("figures/q1_phi.svg"; both parts plain
// names). The subfolder is made by the first output opened in it, registered like a temporary
// (an interruption takes it away again while it is empty) and removed again when the set is
// discarded; one that exists must be a folder, never a symbolic link. An earlier output that a
// run no longer writes there (a figure of a quantity that is gone) is retired: backed up with
// the rest at the commit, removed once it is done, put back when it fails.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/error.h"
#include "io/platform.h"
#include "io/temp_file.h"
#include "io/temporaries.h"

namespace kv::io {

class OutputSet {
 public:
  explicit OutputSet(std::filesystem::path folder) : folder_(std::move(folder)) {}
  OutputSet(const OutputSet&) = delete;
  OutputSet& operator=(const OutputSet&) = delete;
  ~OutputSet() { discard(); }

  // Creates the folder and its missing parents, takes the folder's lock (a second run into the
  // same folder is refused while this one lasts), puts back the earlier outputs of a commit
  // left halfway (repairInterruptedCommits) and removes the stale temporaries of the outputs
  // named (and of the files named after them, such as "summary.csv.rank3").
  std::optional<Error> create(std::span<const std::string_view> outputs = {});
  // Opens the output `name` for writing (create() first); the file stays owned by the set.
  std::optional<Error> open(const std::string& name, TempFile*& file);
  // Reserves the temporary file of the output `name` for a writer that opens it by name;
  // `temporary` is its path. It is renamed with the rest.
  std::optional<Error> reserve(const std::string& name, std::string& temporary);
  // Writes the whole output `name` at once.
  std::optional<Error> write(const std::string& name, std::string_view bytes);
  // Retires, at the commit, every file of the subfolder `subfolder` that `ours` names (the
  // tool's own names there) and that this set does not write. Call it after the last output.
  void retireUnwritten(const std::string& subfolder, const std::function<bool(std::string_view)>& ours);
  // Renames every output to its final name. Only files are replaced: a folder in the place of
  // an output stops the commit before any output is renamed.
  std::optional<Error> commit();
  void discard();

  const std::filesystem::path& folder() const { return folder_; }
  std::filesystem::path pathOf(const std::string& name) const { return folder_ / name; }

 private:
  // Makes the subfolder of `name`, when it has one and it is missing; an error when `name` is
  // not a plain name or one in a subfolder, or its subfolder is not a folder.
  std::optional<Error> prepare(const std::string& name);

  std::filesystem::path folder_;
  std::vector<std::filesystem::path> created_;  // outermost first, then the subfolders made
  std::vector<Registration> createdRegistrations_;
  std::vector<std::string> names_;
  std::vector<std::unique_ptr<TempFile>> files_;
  std::vector<std::string> retired_;  // earlier outputs removed at the commit
  platform::FolderLock lock_;
  bool committed_ = false;
};

// A step of a commit where a test makes it fail: `fault(step, name)` returns true to fail there
// ("close", "journal", "backup", "replace", "done"; the output's name, "" for the journal), or
// may end the process there (the same, and "cleanup", once the commit is done).
// Tests only; nothing by default.
void setCommitFault(std::function<bool(std::string_view step, const std::string& name)> fault);

// Puts back in `folder` the earlier outputs of every commit that a process of this machine that
// no longer runs left halfway (its journal, above). Returns how many commits were rolled back.
size_t repairInterruptedCommits(const std::filesystem::path& folder);

// Removes from `folder` the temporaries of the outputs `names` (temp_file.h) written by processes
// of this machine that no longer run; a name "SUB/" stands for every output of the subfolder SUB
// (a real folder, never a link). Returns how many were removed.
size_t removeStaleTemporaries(const std::filesystem::path& folder, std::span<const std::string_view> names);

// An output that would take the place of an input (`--out .` beside a case named summary.csv,
// a case kept in its own output folder): the first of `inputs`, as named, that one of the
// outputs `names` of `folder` is. "-" (standard input) is never one.
std::optional<std::string> outputOverInput(const std::filesystem::path& folder,
                                           std::span<const std::string_view> names,
                                           std::span<const std::string> inputs);

}  // namespace kv::io
