// Unit-test support: a fresh, empty folder that is the working folder while it lives, and whole
// files read and written as bytes.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <string_view>

namespace kv::testing_support {

namespace fs = std::filesystem;

// Bytes of a file ("" when it cannot be read).
inline std::string fileBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

inline void writeBytes(const fs::path& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// A folder of its own for the running test, named after it, made empty and entered; on
// destruction the previous working folder is entered again and the folder removed.
class TempFolder {
 public:
  explicit TempFolder(std::string_view prefix) {
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name(prefix);
    name.append("_").append(std::to_string(std::random_device{}()));
    if (info != nullptr) name.append("_").append(info->test_suite_name()).append("_").append(info->name());
    for (char& c : name) {
      if (c == '/') c = '_';
    }
    path_ = fs::temp_directory_path() / name;
    fs::remove_all(path_);
    fs::create_directories(path_);
    previous_ = fs::current_path();
    fs::current_path(path_);
  }
  ~TempFolder() {
    std::error_code error;
    fs::current_path(previous_, error);
    fs::remove_all(path_, error);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
  fs::path previous_;
};

}  // namespace kv::testing_support
