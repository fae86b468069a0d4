#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "io/platform.h"
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

  io::platform::ChildCommand child;
  child.argv = {interpreter, "-c", std::string(*launchable)};
  child.environment = childEnvironment();
  const io::platform::ChildResult result = io::platform::runChild(child);
  switch (result.outcome) {
    case io::platform::ChildResult::Outcome::Exited:
      return result.code;
    case io::platform::ChildResult::Outcome::Signalled:
      return 128 + result.code;
    case io::platform::ChildResult::Outcome::TimedOut:
    case io::platform::ChildResult::Outcome::NotStarted:
      break;
  }
  const int error = result.code;
  if (error == ENOENT || error == ENOTDIR) return recordError(kLaunchNotFound);
  if (error == ENOEXEC || error == EACCES) return recordError(kLaunchBadProgram);
  return recordError(kLaunchNoResources);
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
