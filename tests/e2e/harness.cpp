#include "harness.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

namespace kv::e2e {

fs::path sourceDir() { return KV_SOURCE_DIR; }

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void writeFile(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  out << bytes;
}

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  size_t begin = 0;
  for (size_t end; (end = text.find('\n', begin)) != std::string::npos; begin = end + 1) {
    out.push_back(text.substr(begin, end - begin));
  }
  return out;
}

std::vector<std::string> crlfLines(const std::string& bytes) {
  std::vector<std::string> lines;
  size_t begin = 0;
  while (begin < bytes.size()) {
    size_t end = bytes.find("\r\n", begin);
    if (end == std::string::npos) {
      lines.push_back(bytes.substr(begin) + "<no CR LF>");
      break;
    }
    lines.push_back(bytes.substr(begin, end - begin));
    begin = end + 2;
  }
  return lines;
}

CaseFolder::CaseFolder(bool withPlotScripts) {
  static std::atomic<int> counter{0};
  root_ = fs::temp_directory_path() /
          ("kv_e2e_" + std::to_string(getpid()) + "_" + std::to_string(counter++));
  fs::remove_all(root_);
  dir_ = root_ / "case";
  fs::create_directories(dir_);
  writeFile(root_ / "recorder.sh",
            "#!/bin/sh\nprintf '%s\\n' \"$2\" >> '" + (root_ / "launches.log").string() + "'\n");
  fs::permissions(root_ / "recorder.sh", fs::perms::owner_all);
  // The seven prepared plot scripts, as a user's case folder holds them.
  if (!withPlotScripts) return;
  for (const auto& entry : fs::directory_iterator(sourceDir() / "examples" / "plot_scripts")) {
    fs::copy_file(entry.path(), dir_ / entry.path().filename());
  }
}

CaseFolder::~CaseFolder() {
  std::error_code error;
  fs::remove_all(root_, error);
}

std::map<std::string, std::string> CaseFolder::files() const {
  std::map<std::string, std::string> result;
  for (const auto& entry : fs::directory_iterator(dir_)) {
    if (entry.is_regular_file()) result[entry.path().filename().string()] = readFile(entry.path());
  }
  return result;
}

RunResult CaseFolder::run(const std::vector<std::string>& args, const std::string* comspec,
                          const std::map<std::string, std::string>& env,
                          const std::string* input) const {
  fs::remove(root_ / "launches.log");
  std::string in = "/dev/null";
  if (input) {
    in = (root_ / "stdin.txt").string();
    writeFile(in, *input);
  }
  std::string out = (root_ / "stdout.txt").string();
  std::string err = (root_ / "stderr.txt").string();
  std::string interpreter = comspec ? *comspec : (root_ / "recorder.sh").string();
  std::string binary = KV_BINARY;
  pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    if (chdir(dir_.c_str()) != 0) _exit(127);
    int o = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int e = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int n = open(in.c_str(), O_RDONLY);
    dup2(o, 1);
    dup2(e, 2);
    dup2(n, 0);
    // No plot window ever opens in a test; an empty COMSPEC means the default interpreter.
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    if (interpreter.empty()) {
      unsetenv("COMSPEC");
    } else {
      setenv("COMSPEC", interpreter.c_str(), 1);
    }
    for (const auto& [name, value] : env) setenv(name.c_str(), value.c_str(), 1);
    std::vector<char*> argv;
    argv.push_back(binary.data());
    std::vector<std::string> copies(args);
    for (std::string& a : copies) argv.push_back(a.data());
    argv.push_back(nullptr);
    execv(binary.c_str(), argv.data());
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  RunResult result;
  result.peakMemoryBytes = static_cast<double>(usage.ru_maxrss) * 1024;
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  result.out = readFile(out);
  result.err = readFile(err);
  std::istringstream log(readFile(root_ / "launches.log"));
  for (std::string line; std::getline(log, line);) result.launches.push_back(line);
  return result;
}

void writeMainData(const CaseFolder& folder, const std::string& name,
                   const std::vector<std::string>& records) {
  folder.write("Kestrovanilque.in", name + "\n");
  std::string text;
  for (const std::string& r : records) text += r + "\n";
  folder.write(name, text);
}

std::string garbage(unsigned seed, size_t size) {
  std::mt19937 random(seed);
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(random());
  return bytes;
}

}  // namespace kv::e2e
