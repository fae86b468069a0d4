#include "io/scratch_folder.h"

#include "io/platform.h"
#include "io/temp_file.h"

namespace kv::io {

namespace fs = std::filesystem;

std::optional<std::string> ScratchFolder::create(const std::string& purpose) {
  remove();
  std::error_code error;
  const fs::path base = fs::temp_directory_path(error);
  if (error) return "no temporary folder";
  const std::string stem = "kestrovanilque-" + purpose;
  // Folders of earlier runs of this machine that were killed before they could remove them.
  const std::string host = platform::hostName();
  for (fs::directory_iterator it(base, error), end; !error && it != end; it.increment(error)) {
    const std::optional<TemporaryName> t = parseTemporaryName(it->path().filename().string());
    std::error_code ignored;
    if (t && t->name == stem && t->host == host && t->pid != platform::processId() &&
        !platform::processRunning(t->pid) && fs::is_directory(fs::symlink_status(it->path(), ignored))) {
      fs::remove_all(it->path(), ignored);
    }
  }
  for (int attempt = 0; attempt < 100; ++attempt) {
    const fs::path candidate = temporaryPath((base / stem).string(), attempt);
    folderRegistration_ = Registration::folder(candidate.string());
    if (fs::create_directory(candidate, error)) {
      fs::permissions(candidate, fs::perms::owner_all, fs::perm_options::replace, error);
      folder_ = candidate;
      return std::nullopt;
    }
    folderRegistration_.release();
    if (error && error != std::errc::file_exists) break;
  }
  return "cannot create a temporary folder in " + base.string();
}

fs::path ScratchFolder::file(const std::string& name) {
  const fs::path path = folder_ / name;
  files_.push_back(Registration::file(path.string()));
  return path;
}

void ScratchFolder::remove() {
  if (!folder_.empty()) {
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
  }
  files_.clear();
  folderRegistration_.release();
  folder_.clear();
}

}  // namespace kv::io
