// End-to-end test support: a case folder in a temporary directory, and the real binary run in
// it with COMSPEC pointing at a recorder, so that no editor or plot window ever opens and the
// launched commands can be checked.
#pragma once

#include <sys/resource.h>

#include <csignal>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace kv::e2e {

namespace fs = std::filesystem;

// The source tree (for golden files and examples).
fs::path sourceDir();

// Bytes of a file ("" when it does not exist).
std::string readFile(const fs::path& path);
void writeFile(const fs::path& path, const std::string& bytes);

// Lines of an LF text, without their line ends (a last line without one is left out).
std::vector<std::string> lines(const std::string& text);

// Lines of a CR LF file, without their line ends.
std::vector<std::string> crlfLines(const std::string& bytes);

struct RunResult {
  int status = -1;              // exit status of the program
  std::string out;              // what it printed on standard output
  std::string err;              // what it printed on standard error
  std::vector<std::string> launches;  // the commands it launched, in order
  double peakMemoryBytes = 0;         // the program's own peak resident memory
};

// A case folder; it starts with the seven prepared plot scripts of the examples unless
// `withPlotScripts` is false.
class CaseFolder {
 public:
  explicit CaseFolder(bool withPlotScripts = true);
  ~CaseFolder();
  CaseFolder(const CaseFolder&) = delete;
  CaseFolder& operator=(const CaseFolder&) = delete;

  const fs::path& path() const { return dir_; }
  void write(const std::string& name, const std::string& bytes) const { writeFile(dir_ / name, bytes); }
  std::string read(const std::string& name) const { return readFile(dir_ / name); }
  bool exists(const std::string& name) const { return fs::exists(dir_ / name); }
  // Every file in the folder, by name, with its bytes.
  std::map<std::string, std::string> files() const;

  // Runs the program in the folder, without a display. COMSPEC is the recorder (the launches
  // are recorded and nothing is started) unless `comspec` is given (empty: unset, so that the
  // real commands run through /bin/sh); `args` are passed to the program; standard input is
  // `input` when given, else empty.
  RunResult run(const std::vector<std::string>& args = {}, const std::string* comspec = nullptr,
                const std::map<std::string, std::string>& env = {},
                const std::string* input = nullptr) const;

 private:
  fs::path root_;  // holds the case folder and, beside it, the recorder and its log
  fs::path dir_;
};

// While it lives no file written by this process or the programs it starts may grow beyond
// `bytes`: a disk that fills up. SIGXFSZ is ignored, so that a write beyond the limit fails
// instead of ending the writer; both settings pass to the program run.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &saved_);
    savedHandler_ = signal(SIGXFSZ, SIG_IGN);
    rlimit limit = saved_;
    limit.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &saved_);
    signal(SIGXFSZ, savedHandler_);
  }

 private:
  rlimit saved_{};
  sighandler_t savedHandler_;
};

// `size` bytes of binary garbage, the same for the same seed.
std::string garbage(unsigned seed, size_t size);

// A line just past the largest file a case may be (16 MiB) and far past the longest line of a
// point file (1 MiB), for hostile files: the limits are checked at their edge, without writing
// hundreds of megabytes.
inline constexpr size_t kHugeLine = size_t{17} << 20;

// Writes a main data file and its start file. `records` are the main data file's records.
void writeMainData(const CaseFolder& folder, const std::string& name,
                   const std::vector<std::string>& records);

}  // namespace kv::e2e
