// A private folder in the system's temporary folder for the files of a child process (the plots
// gnuplot draws): registered with the files named in it, so that an interruption takes them
// away, and removed with them when destroyed. Its name is a temporary name (temp_file.h) of
// "kestrovanilque-PURPOSE", so that a later run removes the folders of runs that no longer run.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "io/temporaries.h"

namespace kv::io {

class ScratchFolder {
 public:
  ScratchFolder() = default;
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  ~ScratchFolder() { remove(); }

  // Creates the folder (readable by this user only); the message says what failed.
  std::optional<std::string> create(const std::string& purpose);
  // The path of the file `name` in the folder, registered for removal.
  std::filesystem::path file(const std::string& name);
  // Removes the folder and everything in it.
  void remove();
  const std::filesystem::path& path() const { return folder_; }

 private:
  std::filesystem::path folder_;
  Registration folderRegistration_;
  std::vector<Registration> files_;
};

}  // namespace kv::io
