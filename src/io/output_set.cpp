#include "io/output_set.h"

#include <algorithm>
#include <cstdio>

#include "io/platform.h"
#include "io/whole_file.h"

namespace kv::io {

namespace fs = std::filesystem;

namespace {

Error outputError(const std::string& message) { return Error{"", 0, message, Error::Kind::Output}; }

// The name the journal of a commit stands for (its file: the temporary name of this name).
constexpr std::string_view kJournal = "kv-commit";
// A journal holds a line per output; more than this is not one of ours.
constexpr size_t kMaxJournalBytes = 1 << 16;

std::function<bool(std::string_view, const std::string&)>& commitFault() {
  static std::function<bool(std::string_view, const std::string&)> fault;
  return fault;
}

bool faultAt(std::string_view step, const std::string& name) { return commitFault() && commitFault()(step, name); }

bool renameFile(const fs::path& from, const fs::path& to) { return platform::replaceFile(from.string(), to.string()); }

// A plain name of a file in the folder: no separator, not "." or "..".
bool plainName(std::string_view name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos &&
         name.find('\\') == std::string_view::npos && name.find('\0') == std::string_view::npos;
}

// An output's name: a plain name, or a plain name in a plain subfolder ("figures/q1_phi.svg").
bool outputName(std::string_view name) {
  const size_t slash = name.find('/');
  if (slash == std::string_view::npos) return plainName(name);
  return plainName(name.substr(0, slash)) && plainName(name.substr(slash + 1));
}

// Whether `path` is a folder itself (not a link to one).
bool realFolder(const fs::path& path) {
  std::error_code error;
  return fs::is_directory(fs::symlink_status(path, error));
}

// Puts back what the journal `journal` of process `pid` says: each earlier version from its
// backup; each output that had none removed when the commit had put it in place.
void rollBack(const fs::path& folder, const fs::path& journal, unsigned long pid) {
  const WholeFile read = readWholeFile(journal.string(), kMaxJournalBytes);
  if (read.status != WholeFile::Status::Ok) return;
  std::string_view text = read.text;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    const std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    const size_t tab = line.find('\t');
    if (tab == std::string_view::npos) continue;
    const std::string_view name = line.substr(0, tab), backup = line.substr(tab + 1);
    if (!outputName(name)) continue;
    const fs::path target = folder / name;
    if (name.find('/') != std::string_view::npos && !realFolder(target.parent_path())) continue;
    std::error_code error;
    if (backup.empty()) {
      // No earlier version; the new one is removed (a file only, never a folder).
      if (fs::is_regular_file(fs::symlink_status(target, error))) fs::remove(target, error);
      continue;
    }
    // The backup lies beside its output, in the output's subfolder.
    const std::optional<TemporaryName> t = parseTemporaryName(backup);
    if (!plainName(backup) || !t || t->pid != pid || t->name != target.filename().string() + ".old") continue;
    const fs::path saved = target.parent_path() / backup;
    if (fs::is_regular_file(fs::symlink_status(saved, error))) renameFile(saved, target);
  }
}

}  // namespace

void setCommitFault(std::function<bool(std::string_view step, const std::string& name)> fault) {
  commitFault() = std::move(fault);
}

size_t repairInterruptedCommits(const fs::path& folder) {
  const std::string host = platform::hostName();
  const unsigned long self = platform::processId();
  std::vector<std::pair<fs::path, unsigned long>> journals;
  std::error_code error;
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    const std::optional<TemporaryName> t = parseTemporaryName(it->path().filename().string());
    if (!t || t->name != kJournal || t->host != host || t->pid == self || platform::processRunning(t->pid)) continue;
    journals.emplace_back(it->path(), t->pid);
  }
  for (const auto& [journal, pid] : journals) {
    rollBack(folder, journal, pid);
    fs::remove(journal, error);
  }
  return journals.size();
}

std::optional<Error> OutputSet::create(std::span<const std::string_view> outputs) {
  std::error_code error;
  std::vector<fs::path> missing;
  for (fs::path p = folder_; !p.empty() && !fs::exists(fs::symlink_status(p, error)); p = p.parent_path()) {
    missing.insert(missing.begin(), p);
    if (p == p.parent_path()) break;
  }
  for (const fs::path& p : missing) {
    // Registered before it exists, so that an interruption at any moment takes it away again.
    createdRegistrations_.push_back(Registration::folder(p.string()));
    if (!fs::create_directory(p, error) && error) {
      const std::string message = "cannot create the folder " + p.string() + " (" + error.message() + ")";
      discard();
      return outputError(message);
    }
    created_.push_back(p);
  }
  if (!fs::is_directory(folder_, error)) return outputError(folder_.string() + " is not a folder");
  lock_ = platform::FolderLock(folder_.string());
  if (lock_.status() == platform::FolderLock::Status::Busy) {
    const std::string message = "another study is writing into " + folder_.string() + " now: wait for it to end";
    discard();
    return outputError(message);
  }
  repairInterruptedCommits(folder_);
  removeStaleTemporaries(folder_, outputs);
  return std::nullopt;
}

std::optional<Error> OutputSet::prepare(const std::string& name) {
  const size_t slash = name.find('/');
  if (slash == std::string::npos) return std::nullopt;
  if (!outputName(name)) return Error{pathOf(name).string(), 0, "is not the name of an output", Error::Kind::Output};
  const fs::path sub = folder_ / name.substr(0, slash);
  std::error_code error;
  const fs::file_status status = fs::symlink_status(sub, error);
  if (fs::is_directory(status)) return std::nullopt;
  if (fs::exists(status) || fs::is_symlink(status)) {
    return Error{sub.string(), 0, "exists and is not a folder", Error::Kind::Output};
  }
  // Registered before it exists, so that an interruption at any moment takes it away again.
  createdRegistrations_.push_back(Registration::folder(sub.string()));
  if (!fs::create_directory(sub, error) && error) {
    return outputError("cannot create the folder " + sub.string() + " (" + error.message() + ")");
  }
  created_.push_back(sub);
  return std::nullopt;
}

std::optional<Error> OutputSet::open(const std::string& name, TempFile*& file) {
  if (auto error = prepare(name)) return error;
  auto out = std::make_unique<TempFile>();
  if (auto error = out->open(pathOf(name).string())) return error;
  names_.push_back(name);
  files_.push_back(std::move(out));
  file = files_.back().get();
  return std::nullopt;
}

std::optional<Error> OutputSet::reserve(const std::string& name, std::string& temporary) {
  if (auto error = prepare(name)) return error;
  auto out = std::make_unique<TempFile>();
  if (auto error = out->reserve(pathOf(name).string())) return error;
  temporary = out->temporaryPath();
  names_.push_back(name);
  files_.push_back(std::move(out));
  return std::nullopt;
}

std::optional<Error> OutputSet::write(const std::string& name, std::string_view bytes) {
  TempFile* file = nullptr;
  if (auto error = open(name, file)) return error;
  if (!file->write(bytes)) return Error{pathOf(name).string(), 0, "cannot be written (disk full?)", Error::Kind::Output};
  return std::nullopt;
}

void OutputSet::retireUnwritten(const std::string& subfolder, const std::function<bool(std::string_view)>& ours) {
  const fs::path dir = folder_ / subfolder;
  if (!plainName(subfolder) || !realFolder(dir)) return;
  std::error_code error;
  for (fs::directory_iterator it(dir, error), end; !error && it != end; it.increment(error)) {
    const std::string file = it->path().filename().string();
    std::error_code kind;
    if (!ours(file) || !fs::is_regular_file(fs::symlink_status(it->path(), kind))) continue;
    const std::string name = subfolder + "/" + file;
    if (std::find(names_.begin(), names_.end(), name) == names_.end() &&
        std::find(retired_.begin(), retired_.end(), name) == retired_.end()) {
      retired_.push_back(name);
    }
  }
}

std::optional<Error> OutputSet::commit() {
  InterruptionsHeld held;
  std::error_code error;
  for (const std::string& name : names_) {
    const fs::path target = pathOf(name);
    const fs::file_status status = fs::symlink_status(target, error);
    if (fs::exists(status) && !fs::is_regular_file(status)) {
      discard();
      return Error{target.string(), 0, "exists and is not a file", Error::Kind::Output};
    }
  }
  for (size_t k = 0; k < files_.size(); ++k) {
    std::optional<Error> failure = faultAt("close", names_[k]) ? Error{pathOf(names_[k]).string(), 0,
                                                                       "cannot be written (disk full?)",
                                                                       Error::Kind::Output}
                                                               : files_[k]->close();
    if (failure) {
      discard();
      return failure;
    }
  }
  // The journal: each output and the backup of its earlier version ("" when it has none).
  struct Step {
    fs::path backup;  // empty: no earlier version
    bool backedUp = false, replaced = false;
  };
  // The new outputs, then the earlier ones retired (backed up, never replaced).
  std::vector<std::string> all = names_;
  all.insert(all.end(), retired_.begin(), retired_.end());
  std::vector<Step> steps(all.size());
  std::string journalText;
  for (size_t k = 0; k < all.size(); ++k) {
    if (fs::is_regular_file(fs::symlink_status(pathOf(all[k]), error))) {
      steps[k].backup = temporaryPath(pathOf(all[k] + ".old").string());
    }
    journalText += all[k] + "\t" + steps[k].backup.filename().string() + "\n";
  }
  const fs::path journal = temporaryPath(pathOf(std::string(kJournal)).string());
  const Error failed{folder_.string(), 0, "the outputs cannot be put in place: the earlier ones are kept",
                     Error::Kind::Output};
  auto rollBackHere = [&](Error e) {
    for (size_t k = steps.size(); k-- > 0;) {
      if (steps[k].replaced && steps[k].backup.empty()) fs::remove(pathOf(all[k]), error);
      if (steps[k].backedUp) renameFile(steps[k].backup, pathOf(all[k]));
    }
    fs::remove(journal, error);
    discard();
    return e;
  };
  {
    std::FILE* out = faultAt("journal", "") ? nullptr : platform::createNew(journal.string());
    if (out == nullptr) return rollBackHere(failed);
    const bool written = std::fwrite(journalText.data(), 1, journalText.size(), out) == journalText.size();
    if (std::fclose(out) != 0 || !written) return rollBackHere(failed);
  }
  for (size_t k = 0; k < all.size(); ++k) {
    if (steps[k].backup.empty()) continue;
    if (faultAt("backup", all[k]) || !renameFile(pathOf(all[k]), steps[k].backup)) return rollBackHere(failed);
    steps[k].backedUp = true;
  }
  for (size_t k = 0; k < names_.size(); ++k) {
    if (faultAt("replace", names_[k])) return rollBackHere(failed);
    if (auto failure = files_[k]->commit()) return rollBackHere(*failure);
    steps[k].replaced = true;
  }
  if (faultAt("done", "") || !fs::remove(journal, error)) return rollBackHere(failed);
  faultAt("cleanup", "");  // the commit is done: a test may end the process here, nothing else
  for (const Step& step : steps) {
    if (step.backedUp) fs::remove(step.backup, error);
  }
  // A subfolder whose outputs were all retired goes with them (only when empty).
  for (const std::string& name : retired_) fs::remove(pathOf(name).parent_path(), error);
  committed_ = true;
  createdRegistrations_.clear();
  return std::nullopt;
}

void OutputSet::discard() {
  files_.clear();  // each removes its temporary
  names_.clear();
  retired_.clear();
  if (!committed_) {
    std::error_code error;
    for (auto it = created_.rbegin(); it != created_.rend(); ++it) fs::remove(*it, error);  // only if empty
  }
  created_.clear();
  createdRegistrations_.clear();
  lock_.release();
}

size_t removeStaleTemporaries(const fs::path& folder, std::span<const std::string_view> names) {
  if (names.empty()) return 0;
  size_t removed = 0;
  // "SUB/": every temporary of the subfolder SUB is of an output.
  for (std::string_view name : names) {
    if (name.size() < 2 || name.back() != '/' || !plainName(name.substr(0, name.size() - 1))) continue;
    const fs::path sub = folder / name.substr(0, name.size() - 1);
    if (!realFolder(sub)) continue;
    std::vector<std::string> files;
    std::error_code error;
    for (fs::directory_iterator it(sub, error), end; !error && it != end; it.increment(error)) {
      if (const auto t = parseTemporaryName(it->path().filename().string())) files.push_back(t->name);
    }
    std::vector<std::string_view> own(files.begin(), files.end());
    removed += removeStaleTemporaries(sub, own);
  }
  const std::string host = platform::hostName();
  const unsigned long self = platform::processId();
  std::error_code error;
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    const std::string file = it->path().filename().string();
    const std::optional<TemporaryName> t = parseTemporaryName(file);
    if (!t || t->host != host || t->pid == self) continue;
    bool ours = false;
    for (std::string_view name : names) {
      ours = ours || t->name == name ||
             (t->name.size() > name.size() && t->name.compare(0, name.size(), name) == 0 && t->name[name.size()] == '.');
    }
    if (!ours || platform::processRunning(t->pid)) continue;
    std::error_code kind;
    const fs::file_status status = fs::symlink_status(it->path(), kind);
    if (kind || fs::is_directory(status)) continue;
    if (fs::remove(it->path(), kind)) ++removed;
  }
  return removed;
}

std::optional<std::string> outputOverInput(const fs::path& folder, std::span<const std::string_view> names,
                                           std::span<const std::string> inputs) {
  for (std::string_view name : names) {
    const fs::path output = folder / name;
    for (const std::string& input : inputs) {
      std::error_code error;
      if (input != "-" && fs::equivalent(output, input, error)) return input;
    }
  }
  return std::nullopt;
}

}  // namespace kv::io
