#include "field/platform.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "field/engine.h"
#include "temp_folder.h"

namespace kv::field {
namespace {

using testing_support::TempFolder;
using testing_support::writeBytes;

// A field study interrupted mid-run leaves neither its temporary output nor a partial final
// one, and the process ends as the signal ends it. The study runs in a child process on two
// threads; the parent waits until output has been written, then sends the signal.
TEST(Interruption, RemovesTheTemporaryOutputAndEndsByTheSignal) {
  TempFolder folder("interrupt");
  std::string grid;
  for (int i = 1; i <= 200000; ++i) grid += std::to_string(i) + " 1.5\n";
  writeBytes("a.txt", grid);
  writeBytes("b.txt", grid);
  for (int signal : {SIGINT, SIGTERM}) {
    SCOPED_TRACE(signal);
    pid_t child = fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
      OutputFile out;
      if (out.open("summary.csv")) _exit(90);
      auto slow = [](const Point& point, std::string& row) {
        row.append(point.id).append("\n");
        std::this_thread::sleep_for(std::chrono::microseconds(50));
        return PointSummary{};
      };
      FieldResult r = runField({{"a.txt"}, {"b.txt"}}, std::nullopt, slow, out,
                               {.threads = 2, .chunkPoints = 64,
                                .backend = PipelineBackend::Threads});
      if (!r.error) out.commit();
      _exit(91);  // not interrupted in time
    }
    // Waits for rows in the temporary file, so that the signal lands mid-run.
    const std::string temporary = "summary.csv.part" + std::to_string(child);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    std::error_code ignored;
    while (std::filesystem::file_size(temporary, ignored) == static_cast<uintmax_t>(-1) ||
           std::filesystem::file_size(temporary, ignored) < 4096) {
      ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "no output from the child";
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_EQ(kill(child, signal), 0);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << "exit status " << WEXITSTATUS(status);
    EXPECT_EQ(WTERMSIG(status), signal);
    EXPECT_FALSE(std::filesystem::exists(temporary));
    EXPECT_FALSE(std::filesystem::exists("summary.csv"));
  }
}

}  // namespace
}  // namespace kv::field
