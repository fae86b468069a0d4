#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "launch/launch.h"

namespace kv {
namespace {

namespace fs = std::filesystem;

// Sets COMSPEC for one test and restores it afterwards.
class Comspec {
 public:
  explicit Comspec(const char* value) {
    const char* old = std::getenv("COMSPEC");
    if (old != nullptr) old_ = old;
    had_ = old != nullptr;
    if (value != nullptr) {
      setenv("COMSPEC", value, 1);
    } else {
      unsetenv("COMSPEC");
    }
  }
  ~Comspec() {
    if (had_) {
      setenv("COMSPEC", old_.c_str(), 1);
    } else {
      unsetenv("COMSPEC");
    }
  }

 private:
  std::string old_;
  bool had_ = false;
};

class Launch : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() /
              ("kv_launch_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(folder_);
    fs::create_directories(folder_);
    log_ = (folder_ / "log").string();
    // A command interpreter that records the command it is given and exits with status 0.
    recorder_ = (folder_ / "recorder.sh").string();
    std::ofstream(recorder_) << "#!/bin/sh\nprintf '%s|%s\\n' \"$1\" \"$2\" >> '" << log_ << "'\n";
    fs::permissions(recorder_, fs::perms::owner_all);
  }
  void TearDown() override { fs::remove_all(folder_); }
  std::string log() const {
    std::ifstream in(log_);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  fs::path folder_;
  std::string log_, recorder_;
};

TEST_F(Launch, InterpreterGetsDashCAndTheCommandWithoutTrailingBlanks) {
  Comspec comspec(recorder_.c_str());
  std::string field = "notepad main.dat";
  field.resize(90, ' ');
  EXPECT_EQ(launchCommand(field), 0);
  EXPECT_EQ(launchCommand("notepad Kestrovanilque.in"), 0);
  EXPECT_EQ(log(), "-c|notepad main.dat\n-c|notepad Kestrovanilque.in\n");
}

TEST_F(Launch, WithoutComspecTheShellRunsTheCommand) {
  Comspec comspec(nullptr);
  EXPECT_EQ(launchCommand("exit 3"), 3);
  EXPECT_EQ(launchCommand("printf x > '" + (folder_ / "made").string() + "'"), 0);
  EXPECT_TRUE(fs::exists(folder_ / "made"));
}

TEST_F(Launch, EmptyComspecMeansTheDefaultInterpreter) {
  Comspec comspec("");
  EXPECT_EQ(launchCommand("exit 5"), 5);
}

TEST_F(Launch, ComspecLengthLimit) {
  // A 260-character interpreter path is accepted (the program then does not exist here).
  std::string longPath = std::string(248, '/') + "no_such_prog";
  {
    Comspec comspec(longPath.c_str());
    errno = 0;
    EXPECT_EQ(launchCommand("true"), -1);
    EXPECT_EQ(errno, kLaunchNotFound);
  }
  // 261 characters: refused before anything is started.
  std::string tooLong = std::string(261 - recorder_.size(), '/') + recorder_;
  ASSERT_EQ(tooLong.size(), 261u);
  Comspec comspec(tooLong.c_str());
  errno = 0;
  EXPECT_EQ(launchCommand("true"), -1);
  EXPECT_EQ(errno, kLaunchNotFound);
  EXPECT_EQ(log(), "");
  // The same recorder through a 260-character path runs.
  std::string fits = std::string(260 - recorder_.size(), '/') + recorder_;
  Comspec fitting(fits.c_str());
  EXPECT_EQ(launchCommand("true"), 0);
  EXPECT_EQ(log(), "-c|true\n");
}

TEST_F(Launch, CommandLengthLimit) {
  Comspec comspec(recorder_.c_str());
  std::string command = "echo " + std::string(1019, 'a');
  ASSERT_EQ(command.size(), 1024u);
  EXPECT_EQ(launchCommand(command + "    "), 0);
  errno = 0;
  EXPECT_EQ(launchCommand(command + "b"), -1);
  EXPECT_EQ(errno, kLaunchTooLong);
  EXPECT_EQ(log(), "-c|" + command + "\n");
}

TEST_F(Launch, MissingOrInvalidInterpreter) {
  {
    Comspec comspec((folder_ / "no_such_program").c_str());
    errno = 0;
    EXPECT_EQ(launchCommand("true"), -1);
    EXPECT_EQ(errno, kLaunchNotFound);
  }
  std::string data = (folder_ / "data.txt").string();
  std::ofstream(data) << "not a program\n";
  Comspec comspec(data.c_str());
  errno = 0;
  EXPECT_EQ(launchCommand("true"), -1);
  EXPECT_EQ(errno, kLaunchBadProgram);
}

TEST(Quote, PlainNamesStayAsTheyAre) {
  for (const char* name : {"main.dat", "results/run-1.txt", "caf\xE9.dat", "a+b=c,d@e:f%g"}) {
    EXPECT_EQ(quoteForInterpreter(name), name);
  }
  EXPECT_EQ(quoteForInterpreter("my file.dat"), "'my file.dat'");
  EXPECT_EQ(quoteForInterpreter("it's"), "'it'\\''s'");
}

TEST_F(Launch, HostileFileNameReachesTheEditorAsOneNameAndRunsNothing) {
  Comspec comspec(nullptr);
  // An "editor" that records its arguments, one per line.
  fs::path editor = folder_ / "notepad";
  std::ofstream(editor) << "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\" >> '" << log_
                        << "'; done\n";
  fs::permissions(editor, fs::perms::owner_all);
  std::string marker = (folder_ / "pwned").string();
  for (std::string name : {"x; touch " + marker, "$(touch " + marker + ")", "`touch " + marker + "`",
                           "a'b; touch " + marker + "; '", "a|touch " + marker, "a\ntouch " + marker,
                           "a && touch " + marker + " > <", std::string("*"), std::string("?")}) {
    fs::remove(log_);
    EXPECT_EQ(launchCommand(editor.string() + " " + quoteForInterpreter(name)), 0) << name;
    EXPECT_EQ(log(), name + "\n");
    EXPECT_FALSE(fs::exists(marker)) << name;
  }
}

}  // namespace
}  // namespace kv
