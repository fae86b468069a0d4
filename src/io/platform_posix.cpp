#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <optional>

#include "io/platform.h"
#include "io/temporaries.h"

extern char** environ;

namespace kv::io::platform {

namespace {

// Async-signal-safe: takes away what is registered, then ends the process as the signal would
// have (its default action restored, the signal raised again).
extern "C" void onInterrupt(int signal) {
  if (deferInterruption(signal)) return;
  removeRegistered();
  struct sigaction action {};
  action.sa_handler = SIG_DFL;
  sigemptyset(&action.sa_mask);
  sigaction(signal, &action, nullptr);
  raise(signal);  // delivered with the default action when the handler returns
}

void pause(std::chrono::microseconds span) {
  timespec t{static_cast<time_t>(span.count() / 1000000), static_cast<long>(span.count() % 1000000) * 1000};
  while (nanosleep(&t, &t) != 0 && errno == EINTR) {
  }
}

ChildResult finished(int status) {
  if (WIFEXITED(status)) return {ChildResult::Outcome::Exited, WEXITSTATUS(status)};
  return {ChildResult::Outcome::Signalled, WIFSIGNALED(status) ? WTERMSIG(status) : 0};
}

}  // namespace

void detail::installInterruptHandlers() {
  for (int signal : {SIGINT, SIGTERM}) {
    struct sigaction current {};
    if (sigaction(signal, nullptr, &current) != 0 || current.sa_handler == SIG_IGN) continue;
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    sigaddset(&action.sa_mask, SIGINT);
    sigaddset(&action.sa_mask, SIGTERM);
    sigaction(signal, &action, nullptr);
  }
}

void guardStandardStreams() {
  for (int fd : {0, 1, 2}) {
    if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    const int opened = open(fd == 1 ? "/dev/full" : "/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
    if (opened != -1 && opened != fd) {
      dup2(opened, fd);
      close(opened);
    }
  }
}

void detail::removeFile(const char* path) { unlink(path); }
void detail::removeFolder(const char* path) { rmdir(path); }
void detail::endChild(long pid) {
  if (pid > 0) kill(static_cast<pid_t>(pid), SIGKILL);
}

bool stderrIsTerminal() { return isatty(STDERR_FILENO) == 1; }
bool stdoutIsTerminal() { return isatty(STDOUT_FILENO) == 1; }

std::FILE* createNew(const std::string& path) {
  // O_EXCL with O_CREAT fails on any existing name, a symbolic link included (never followed).
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (fd < 0) return nullptr;
  std::FILE* file = fdopen(fd, "wb");
  if (file == nullptr) {
    const int saved = errno;
    ::close(fd);
    unlink(path.c_str());
    errno = saved;
  }
  return file;
}

bool replaceFile(const std::string& from, const std::string& to) {
  return std::rename(from.c_str(), to.c_str()) == 0;
}

unsigned long processId() { return static_cast<unsigned long>(getpid()); }

bool processRunning(unsigned long pid) {
  if (pid == 0 || pid > static_cast<unsigned long>(INT32_MAX)) return false;
  return kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

std::string hostName() {
  char name[256] = {};
  std::string out;
  if (gethostname(name, sizeof name - 1) == 0) {
    for (const char* c = name; *c != '\0' && out.size() < 64; ++c) {
      const bool keep = (*c >= 'a' && *c <= 'z') || (*c >= 'A' && *c <= 'Z') ||
                        (*c >= '0' && *c <= '9') || *c == '-';
      out.push_back(keep ? *c : '-');
    }
  }
  return out.empty() ? "host" : out;
}

std::optional<uint64_t> freeBytes(const std::string& folder) {
  struct statvfs s {};
  if (statvfs(folder.c_str(), &s) != 0) return std::nullopt;
  return static_cast<uint64_t>(s.f_bavail) * static_cast<uint64_t>(s.f_frsize);
}

FolderLock::FolderLock(const std::string& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
    handle_ = fd;
    status_ = Status::Held;
    return;
  }
  status_ = errno == EWOULDBLOCK ? Status::Busy : Status::Unsupported;
  ::close(fd);
}

void FolderLock::release() {
  if (handle_ >= 0) ::close(static_cast<int>(handle_));  // closing the folder releases the lock
  handle_ = -1;
}

ChildResult runChild(const ChildCommand& command) {
  if (command.argv.empty()) return {ChildResult::Outcome::NotStarted, EINVAL};
  std::vector<std::string> args = command.argv;
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  std::vector<std::string> env;
  std::vector<char*> envp;
  if (command.environment) {
    env = *command.environment;
    for (std::string& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (command.quiet) {
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  }
  // An interruption between the start of the child and its registration would leave it running:
  // it waits until the child is registered.
  std::optional<InterruptionsHeld> held;
  if (command.endOnInterrupt) held.emplace();
  pid_t pid = 0;
  const int error = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(),
                                 command.environment ? envp.data() : environ);
  posix_spawn_file_actions_destroy(&actions);
  if (error != 0) return {ChildResult::Outcome::NotStarted, error};
  Registration registered;
  if (command.endOnInterrupt) registered = Registration::child(pid);
  held.reset();
  int status = 0;
  if (command.timeoutSeconds <= 0.0) {
    while (waitpid(pid, &status, 0) < 0) {
      if (errno != EINTR) return {ChildResult::Outcome::NotStarted, errno};
    }
    return finished(status);
  }
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::duration<double>(command.timeoutSeconds);
  std::chrono::microseconds wait(200);
  for (;;) {
    const pid_t done = waitpid(pid, &status, WNOHANG);
    if (done == pid) return finished(status);
    if (done < 0 && errno != EINTR) return {ChildResult::Outcome::NotStarted, errno};
    if (Clock::now() >= deadline) {
      kill(pid, SIGKILL);
      while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
      }
      return {ChildResult::Outcome::TimedOut, 0};
    }
    pause(wait);
    wait = std::min(wait * 2, std::chrono::microseconds(50000));
  }
}

}  // namespace kv::io::platform
