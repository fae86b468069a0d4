#include "io/output_set.h"

#include "io/platform.h"

namespace kv::io {

namespace fs = std::filesystem;

namespace {

Error outputError(const std::string& message) { return Error{"", 0, message, Error::Kind::Output}; }

}  // namespace

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
  removeStaleTemporaries(folder_, outputs);
  return std::nullopt;
}

std::optional<Error> OutputSet::open(const std::string& name, TempFile*& file) {
  auto out = std::make_unique<TempFile>();
  if (auto error = out->open(pathOf(name).string())) return error;
  names_.push_back(name);
  files_.push_back(std::move(out));
  file = files_.back().get();
  return std::nullopt;
}

std::optional<Error> OutputSet::reserve(const std::string& name, std::string& temporary) {
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

std::optional<Error> OutputSet::commit() {
  std::error_code error;
  for (const std::string& name : names_) {
    const fs::path target = pathOf(name);
    const fs::file_status status = fs::symlink_status(target, error);
    if (fs::exists(status) && !fs::is_regular_file(status)) {
      discard();
      return Error{target.string(), 0, "exists and is not a file", Error::Kind::Output};
    }
  }
  for (auto& file : files_) {
    if (auto failure = file->commit()) {
      discard();
      return failure;
    }
  }
  committed_ = true;
  createdRegistrations_.clear();
  return std::nullopt;
}

void OutputSet::discard() {
  files_.clear();  // each removes its temporary
  names_.clear();
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
  const std::string host = platform::hostName();
  const unsigned long self = platform::processId();
  size_t removed = 0;
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
