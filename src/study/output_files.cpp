#include "study/output_files.h"

#include "field/platform.h"

namespace kv::study {

namespace fs = std::filesystem;

std::optional<std::string> OutputSet::create() {
  std::error_code error;
  std::vector<fs::path> missing;
  for (fs::path p = folder_; !p.empty() && !fs::exists(p, error); p = p.parent_path()) {
    missing.insert(missing.begin(), p);
    if (p == p.parent_path()) break;
  }
  for (const fs::path& p : missing) {
    // Registered before it exists, so that an interruption at any moment takes it away again.
    createdSlots_.push_back(field::platform::protectTemporary(p.string()));
    if (!fs::create_directory(p, error) && error) {
      const std::string message = "cannot create the folder " + p.string() + " (" + error.message() + ")";
      field::platform::releaseTemporary(createdSlots_.back());
      createdSlots_.pop_back();
      discard();
      return message;
    }
    created_.push_back(p);
  }
  if (!fs::is_directory(folder_, error)) return folder_.string() + " is not a folder";
  return std::nullopt;
}

field::OutputFile* OutputSet::open(const std::string& name, std::string& failure) {
  auto file = std::make_unique<field::OutputFile>();
  if (file->open((folder_ / name).string())) {
    failure = "cannot write " + (folder_ / name).string();
    return nullptr;
  }
  names_.push_back(name);
  files_.push_back(std::move(file));
  return files_.back().get();
}

std::optional<std::string> OutputSet::commit() {
  std::error_code error;
  for (const std::string& name : names_) {
    const fs::path target = folder_ / name;
    if (fs::exists(target, error) && !fs::is_regular_file(target, error)) {
      discard();
      return target.string() + " exists and is not a file";
    }
  }
  for (size_t k = 0; k < files_.size(); ++k) {
    if (files_[k]->commit()) {
      discard();
      return "cannot replace " + (folder_ / names_[k]).string();
    }
  }
  committed_ = true;
  for (int slot : createdSlots_) field::platform::releaseTemporary(slot);
  createdSlots_.clear();
  return std::nullopt;
}

void OutputSet::discard() {
  for (auto& file : files_) file->discard();
  files_.clear();
  names_.clear();
  if (!committed_) {
    std::error_code error;
    for (auto it = created_.rbegin(); it != created_.rend(); ++it) fs::remove(*it, error);  // only if empty
  }
  created_.clear();
  for (int slot : createdSlots_) field::platform::releaseTemporary(slot);
  createdSlots_.clear();
}

std::optional<std::string> writeOutputs(const fs::path& folder, std::span<const OutputFile> files) {
  OutputSet set(folder);
  if (auto failure = set.create()) return failure;
  for (const OutputFile& f : files) {
    std::string failure;
    field::OutputFile* out = set.open(f.name, failure);
    if (out == nullptr) return failure;
    if (!out->write(f.content)) return "cannot write " + (folder / f.name).string();
  }
  return set.commit();
}

std::optional<std::string> outputOverInput(const std::filesystem::path& folder,
                                           std::span<const std::string_view> names,
                                           std::span<const std::string> inputs) {
  for (std::string_view name : names) {
    const std::filesystem::path output = folder / name;
    for (const std::string& input : inputs) {
      std::error_code error;
      if (input != "-" && std::filesystem::equivalent(output, input, error)) return input;
    }
  }
  return std::nullopt;
}

}  // namespace kv::study
