#include "io/platform.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <filesystem>
#include <thread>

#include "io/output_set.h"
#include "io/temp_file.h"
#include "io/temporaries.h"
#include "temp_folder.h"

namespace kv::io {
namespace {

namespace fs = std::filesystem;
using testing_support::fileBytes;
using testing_support::TempFolder;

bool waitFor(const std::function<bool()>& done, std::chrono::seconds limit = std::chrono::seconds(20)) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

// Whether a process has ended: gone, or a zombie that nobody has waited for yet (its parent
// ended first, and some containers' first process never waits).
bool ended(pid_t pid) {
  if (kill(pid, 0) != 0) return true;
  const std::string stat = fileBytes("/proc/" + std::to_string(pid) + "/stat");
  const size_t close = stat.rfind(')');
  return close != std::string::npos && close + 2 < stat.size() && stat[close + 2] == 'Z';
}

// An interrupted run leaves neither its temporary output nor the folders it made (however deep),
// its child process is ended too, and it ends as the signal ends it.
TEST(Interruption, TakesAwayTemporariesFoldersAndChildren) {
  TempFolder folder("interrupt");
  std::string deep = "out";
  for (int i = 0; i < 40; ++i) deep += "/d" + std::to_string(i);
  for (int signal : {SIGINT, SIGTERM}) {
    SCOPED_TRACE(signal);
    fs::remove("child.pid");
    const pid_t child = fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
      OutputSet outputs(deep);
      TempFile* file = nullptr;
      if (outputs.create() || outputs.open("summary.csv", file)) _exit(90);
      file->write("rows\n");
      file->flush();
      platform::ChildCommand sleeper;
      sleeper.argv = {"sh", "-c", "echo $$ > child.pid.new && mv child.pid.new child.pid && exec sleep 30"};
      sleeper.endOnInterrupt = true;
      platform::runChild(sleeper);
      _exit(91);  // not interrupted
    }
    ASSERT_TRUE(waitFor([] { return fs::exists("child.pid"); })) << "the child did not start its own child";
    const pid_t grandchild = std::stoi(fileBytes("child.pid"));
    ASSERT_EQ(kill(child, signal), 0);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << "exit status " << WEXITSTATUS(status);
    EXPECT_EQ(WTERMSIG(status), signal);
    EXPECT_FALSE(fs::exists("out"));
    EXPECT_TRUE(waitFor([&] { return ended(grandchild); }));
  }
}

// An interruption while outputs are being committed waits for the commit: it is noted, from any
// thread, and takes effect (temporaries removed, the process ended by the signal) only when the
// hold ends.
TEST(Interruption, WaitsForTheCommitItArrivesIn) {
  TempFolder folder("interrupt_held");
  const pid_t child = fork();
  ASSERT_NE(child, -1);
  if (child == 0) {
    TempFile file;
    if (file.open("temporary")) _exit(90);  // registers it, and installs the handlers
    {
      InterruptionsHeld held;
      std::thread([] { kill(getpid(), SIGTERM); }).join();
      TempFile marker;
      if (marker.open("after-the-signal") || marker.commit()) _exit(91);
    }
    _exit(92);  // the signal was lost
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFSIGNALED(status)) << "exit status " << WEXITSTATUS(status);
  EXPECT_EQ(WTERMSIG(status), SIGTERM);
  EXPECT_TRUE(fs::exists("after-the-signal"));
  EXPECT_FALSE(fs::exists(temporaryPath("temporary")));
}

TEST(RunChild, EndsAChildThatOutlivesItsTimeAndTellsWhatHappened) {
  using Outcome = platform::ChildResult::Outcome;
  platform::ChildCommand hung;
  hung.argv = {"sleep", "20"};
  hung.timeoutSeconds = 0.2;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(platform::runChild(hung).outcome, Outcome::TimedOut);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  platform::ChildCommand quick;
  quick.argv = {"sh", "-c", "exit 7"};
  quick.timeoutSeconds = 10;
  const auto done = platform::runChild(quick);
  EXPECT_EQ(done.outcome, Outcome::Exited);
  EXPECT_EQ(done.code, 7);
  platform::ChildCommand absent;
  absent.argv = {"kestrovanilque-no-such-program"};
  const auto missing = platform::runChild(absent);
  EXPECT_EQ(missing.outcome, Outcome::NotStarted);
  EXPECT_EQ(missing.code, ENOENT);
}

// No fixed number of slots: a thousand registrations at once, all released again.
TEST(Registry, HasNoFixedLimit) {
  const size_t before = registeredCount();
  {
    std::vector<Registration> many;
    for (int i = 0; i < 1000; ++i) many.push_back(Registration::file("/nonexistent/" + std::to_string(i)));
    EXPECT_EQ(registeredCount(), before + 1000);
  }
  EXPECT_EQ(registeredCount(), before);
}

}  // namespace
}  // namespace kv::io
