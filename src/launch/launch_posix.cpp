#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "launch/launch.h"

extern char** environ;

namespace kv {

namespace {

// The folder of the editor and plotting adapters ("notepad", "wgnuplot"), found relative to
// the executable: beside it in the build tree, under libexec once installed. Empty if absent.
std::string adapterFolder() {
  std::error_code error;
  std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) return {};
  std::filesystem::path dir = exe.parent_path();
  for (const std::filesystem::path& candidate :
       {dir / "adapters", dir / ".." / "libexec" / "kestrovanilque"}) {
    if (std::filesystem::is_directory(candidate, error)) {
      return std::filesystem::weakly_canonical(candidate, error).string();
    }
  }
  return {};
}

// The environment of the child: ours, with the adapter folder appended to PATH so that a
// user's own notepad or wgnuplot still comes first.
std::vector<std::string> childEnvironment() {
  std::vector<std::string> env;
  std::string adapters = adapterFolder();
  bool pathSeen = false;
  for (char** e = environ; *e != nullptr; ++e) {
    std::string entry = *e;
    if (!adapters.empty() && entry.rfind("PATH=", 0) == 0) {
      pathSeen = true;
      entry += (entry.size() > 5 ? ":" : "") + adapters;
    }
    env.push_back(std::move(entry));
  }
  if (!adapters.empty() && !pathSeen) env.push_back("PATH=/usr/local/bin:/usr/bin:/bin:" + adapters);
  return env;
}

int recordError(int code) {
  errno = code;
  return -1;
}

}  // namespace

int launchCommand(std::string_view command) {
  const std::optional<std::string_view> launchable = launchableCommand(command);
  if (!launchable) return recordError(kLaunchTooLong);

  const char* comspec = std::getenv("COMSPEC");
  std::string interpreter = comspec != nullptr ? comspec : "";
  if (interpreter.size() > kMaxInterpreterLength) return recordError(kLaunchNotFound);
  if (interpreter.empty()) interpreter = "/bin/sh";

  std::string text(*launchable);
  std::string dashC = "-c";
  char* argv[] = {interpreter.data(), dashC.data(), text.data(), nullptr};
  std::vector<std::string> env = childEnvironment();
  std::vector<char*> envp;
  for (std::string& entry : env) envp.push_back(entry.data());
  envp.push_back(nullptr);

  pid_t pid = 0;
  int error = posix_spawnp(&pid, interpreter.c_str(), nullptr, nullptr, argv, envp.data());
  if (error != 0) {
    if (error == ENOENT || error == ENOTDIR) return recordError(kLaunchNotFound);
    if (error == ENOEXEC || error == EACCES) return recordError(kLaunchBadProgram);
    return recordError(kLaunchNoResources);
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return recordError(kLaunchNoResources);
  }
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  return 128 + WTERMSIG(status);
}

std::string quoteForInterpreter(std::string_view name) {
  bool plain = !name.empty();
  for (char c : name) {
    unsigned char u = static_cast<unsigned char>(c);
    if (!(std::isalnum(u) || u >= 0x80 || std::strchr("_./:@%+,=-", c) != nullptr)) {
      plain = false;
    }
  }
  if (plain) return std::string(name);
  std::string quoted = "'";
  for (char c : name) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted.push_back(c);
    }
  }
  quoted.push_back('\'');
  return quoted;
}

}  // namespace kv
