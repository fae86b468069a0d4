// Writing the outputs of a study all or nothing: every file is written under a temporary name
// beside its final one and renamed only when all are complete. Files the study did not write
// are never removed.
#pragma once

#include <filesystem>
#include <optional>
#include <span>
#include <string>

namespace kv::study {

struct OutputFile {
  std::string name;
  std::string content;
};

// Writes `files` into `folder` (created when missing). On failure nothing of them is left
// (temporary files and a folder created here are removed) and the message says what failed.
std::optional<std::string> writeOutputs(const std::filesystem::path& folder,
                                        std::span<const OutputFile> files);

}  // namespace kv::study
