#include "study/output_files.h"

#include <cstdio>
#include <random>
#include <vector>

namespace kv::study {

namespace fs = std::filesystem;

namespace {

bool writeWhole(const fs::path& path, const std::string& content) {
  std::FILE* out = std::fopen(path.string().c_str(), "wb");
  if (out == nullptr) return false;
  const bool written = std::fwrite(content.data(), 1, content.size(), out) == content.size();
  return (std::fclose(out) == 0) && written;
}

}  // namespace

std::optional<std::string> writeOutputs(const fs::path& folder, std::span<const OutputFile> files) {
  std::error_code error;
  // The folders created here, innermost last, so that a failure can take them away again.
  std::vector<fs::path> created;
  for (fs::path p = folder; !p.empty() && !fs::exists(p, error); p = p.parent_path()) {
    created.insert(created.begin(), p);
    if (p == p.parent_path()) break;
  }
  auto undoFolders = [&] {
    for (auto it = created.rbegin(); it != created.rend(); ++it) fs::remove(*it, error);  // only if empty
  };
  for (const fs::path& p : created) {
    if (!fs::create_directory(p, error) && error) {
      const std::string message = "cannot create the folder " + p.string() + " (" + error.message() + ")";
      undoFolders();
      return message;
    }
  }
  if (!fs::is_directory(folder, error)) return folder.string() + " is not a folder";

  std::random_device random;
  const std::string tag = ".tmp-" + std::to_string(random());
  std::vector<fs::path> temporary;
  for (const OutputFile& f : files) {
    const fs::path path = folder / ("." + f.name + tag);
    temporary.push_back(path);
    if (!writeWhole(path, f.content)) {
      for (const fs::path& t : temporary) fs::remove(t, error);
      undoFolders();
      return "cannot write " + (folder / f.name).string();
    }
  }
  // Only files are replaced: a folder in the place of an output stops the study before any
  // output is renamed.
  for (const OutputFile& f : files) {
    const fs::path target = folder / f.name;
    if (fs::exists(target, error) && !fs::is_regular_file(target, error)) {
      for (const fs::path& t : temporary) fs::remove(t, error);
      return target.string() + " exists and is not a file";
    }
  }
  for (size_t k = 0; k < files.size(); ++k) {
    const fs::path target = folder / files[k].name;
    fs::rename(temporary[k], target, error);
    if (error) {
      for (size_t m = k; m < files.size(); ++m) fs::remove(temporary[m], error);
      return "cannot replace " + target.string();
    }
  }
  return std::nullopt;
}

}  // namespace kv::study
