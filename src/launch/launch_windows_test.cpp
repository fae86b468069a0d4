// Tests of the Windows launcher. They start real processes: log_command.exe (built beside this
// test program from tests/windows) as a recording command interpreter, and the system's
// cmd.exe. Under wine they run the same way as on Windows.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "launch/launch.h"

namespace kv {
namespace {

namespace fs = std::filesystem;

constexpr DWORD kOwnCode = 0x2fff0000u;

// Sets an environment variable for one test and restores it afterwards; a null value unsets it.
class EnvironmentVariable {
 public:
  EnvironmentVariable(const char* name, const char* value) : name_(name) {
    char buffer[32768];
    DWORD length = GetEnvironmentVariableA(name, buffer, sizeof buffer);
    had_ = length > 0 && length < sizeof buffer;
    if (had_) old_.assign(buffer, length);
    SetEnvironmentVariableA(name, value);
  }
  ~EnvironmentVariable() { SetEnvironmentVariableA(name_.c_str(), had_ ? old_.c_str() : nullptr); }
  EnvironmentVariable(const EnvironmentVariable&) = delete;
  EnvironmentVariable& operator=(const EnvironmentVariable&) = delete;

 private:
  std::string name_, old_;
  bool had_ = false;
};

// The folder of this test program, where log_command.exe is built too.
fs::path programFolder() {
  char path[MAX_PATH];
  DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  return fs::path(std::string(path, length)).parent_path();
}

std::string readAll(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// Each test works in a folder of its own, which is also the current directory, and has the
// recording interpreter at hand: its path, and its log ("" until something was started).
class WindowsLaunch : public ::testing::Test {
 protected:
  void SetUp() override {
    recorder_ = (programFolder() / "log_command.exe").string();
    ASSERT_TRUE(fs::exists(recorder_)) << recorder_ << " is built with the tests (log_command)";
    previous_ = fs::current_path();
    folder_ = fs::temp_directory_path() /
              ("kv_launch_" + std::to_string(GetCurrentProcessId()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(folder_);
    fs::create_directories(folder_);
    fs::current_path(folder_);
    log_ = (folder_ / "log.txt").string();
    logFile_ = std::make_unique<EnvironmentVariable>("KV_LOG_FILE", log_.c_str());
    exitStatus_ = std::make_unique<EnvironmentVariable>("KV_LOG_EXIT", nullptr);
  }
  void TearDown() override {
    logFile_.reset();
    exitStatus_.reset();
    fs::current_path(previous_);
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
  }
  std::string log() const { return readAll(log_); }

  // `tail` preceded by enough ".\" components after the recorder's folder to make a path of
  // exactly `length` characters that names the same program.
  std::string paddedRecorderPath(size_t length) const {
    std::string folder = programFolder().string() + "\\";
    std::string name = "log_command.exe";
    size_t pad = length - folder.size() - name.size();
    std::string padding;
    while (padding.size() + 2 <= pad) padding += ".\\";
    if (padding.size() < pad) padding += "\\";  // an odd count: one doubled separator
    return folder + padding + name;
  }

  fs::path folder_, previous_;
  std::string recorder_, log_;
  std::unique_ptr<EnvironmentVariable> logFile_, exitStatus_;
};

TEST(WindowsStartupRecord, IsTheWholeStartupInfoOfThisPlatform) {
  // The start-up record handed to CreateProcessA is a zeroed STARTUPINFOA whose first field
  // holds its own size: 68 bytes in a 32-bit program, 104 in a 64-bit one.
  EXPECT_EQ(sizeof(STARTUPINFOA), sizeof(void*) == 8 ? 104u : 68u);
  EXPECT_EQ(offsetof(STARTUPINFOA, cb), 0u);
}

TEST_F(WindowsLaunch, TheStartedProgramSeesADefaultStartupRecord) {
  EnvironmentVariable comspec("COMSPEC", recorder_.c_str());
  EnvironmentVariable report("KV_LOG_STARTUP", "1");
  EXPECT_EQ(launchCommand("notepad Kestrovanilque.in"), 0);
  // No flags: no show-window request, no standard handles, no position or size.
  EXPECT_EQ(log(), recorder_ + " /c notepad Kestrovanilque.in\nstartup flags=0\n");
}

TEST_F(WindowsLaunch, TheStartedProgramInheritsInheritableHandles) {
  SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  std::string file = (folder_ / "inherited.txt").string();
  HANDLE h = CreateFileA(file.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inheritable, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  std::string number = std::to_string(reinterpret_cast<uintptr_t>(h));
  EnvironmentVariable comspec("COMSPEC", recorder_.c_str());
  EnvironmentVariable handle("KV_LOG_HANDLE", number.c_str());
  EXPECT_EQ(launchCommand("notepad x"), 0);
  CloseHandle(h);
  EXPECT_EQ(readAll(file), "inherited");
}

TEST_F(WindowsLaunch, InterpreterGetsSlashCAndTheCommandWithoutTrailingBlanks) {
  EnvironmentVariable comspec("COMSPEC", recorder_.c_str());
  std::string field = "notepad main.dat";
  field.resize(90, ' ');
  EXPECT_EQ(launchCommand(field), 0);
  EXPECT_EQ(launchCommand("wgnuplot Kestrovanilque_pE_pU.gnu"), 0);
  EXPECT_EQ(log(), recorder_ + " /c notepad main.dat\n" + recorder_ +
                       " /c wgnuplot Kestrovanilque_pE_pU.gnu\n");
}

TEST_F(WindowsLaunch, ReturnsTheExitCodeOfTheInterpreter) {
  EnvironmentVariable comspec("COMSPEC", recorder_.c_str());
  EnvironmentVariable status("KV_LOG_EXIT", "3");
  EXPECT_EQ(launchCommand("notepad x"), 3);
  EnvironmentVariable large("KV_LOG_EXIT", "259");
  EXPECT_EQ(launchCommand("notepad x"), 259);
}

TEST_F(WindowsLaunch, WithoutComspecCmdExeIsStartedWithSlashC) {
  EnvironmentVariable comspec("COMSPEC", nullptr);
  // A cmd.exe in the current directory is found before the system's: the exact command line
  // of the default interpreter can then be seen.
  fs::copy_file(recorder_, folder_ / "cmd.exe");
  EXPECT_EQ(launchCommand("notepad Kestrovanilque.in"), 0);
  EXPECT_EQ(log(), "cmd.exe /c notepad Kestrovanilque.in\n");
}

TEST_F(WindowsLaunch, WithoutComspecTheSystemCmdRunsTheCommand) {
  EnvironmentVariable comspec("COMSPEC", nullptr);
  EXPECT_EQ(launchCommand("exit 3"), 3);
  EXPECT_EQ(launchCommand("echo x> made.txt"), 0);
  EXPECT_TRUE(fs::exists(folder_ / "made.txt"));
  // The system's cmd.exe starts the recorder as the command, which gets its own arguments.
  EnvironmentVariable status("KV_LOG_EXIT", "5");
  EXPECT_EQ(launchCommand(recorder_ + " Kestrovanilque_pU.gnu"), 5);
  std::string line = log();
  ASSERT_FALSE(line.empty());
  EXPECT_EQ(line.substr(line.size() - 23), " Kestrovanilque_pU.gnu\n") << line;
}

TEST_F(WindowsLaunch, EmptyComspecMeansCmdExe) {
  EnvironmentVariable comspec("COMSPEC", "");
  fs::copy_file(recorder_, folder_ / "cmd.exe");
  EXPECT_EQ(launchCommand("wgnuplot Kestrovanilque_U.gnu"), 0);
  EXPECT_EQ(log(), "cmd.exe /c wgnuplot Kestrovanilque_U.gnu\n");
}

TEST_F(WindowsLaunch, CommandLengthLimit) {
  EnvironmentVariable comspec("COMSPEC", recorder_.c_str());
  std::string command = "notepad " + std::string(1016, 'a');
  ASSERT_EQ(command.size(), 1024u);
  EXPECT_EQ(launchCommand(command + "      "), 0);
  EXPECT_EQ(log(), recorder_ + " /c " + command + "\n");

  SetLastError(0);
  EXPECT_EQ(launchCommand(command + "b"), -1);
  EXPECT_EQ(GetLastError(), 7u | kOwnCode);
  EXPECT_EQ(log(), recorder_ + " /c " + command + "\n");  // nothing more was started
}

TEST_F(WindowsLaunch, ComspecBufferHolds260Characters) {
  std::string fits = paddedRecorderPath(260);
  ASSERT_EQ(fits.size(), 260u);
  {
    EnvironmentVariable comspec("COMSPEC", fits.c_str());
    EXPECT_EQ(launchCommand("notepad x.dat"), 0);
    EXPECT_EQ(log(), fits + " /c notepad x.dat\n");
  }
  std::string tooLong = paddedRecorderPath(261);
  ASSERT_EQ(tooLong.size(), 261u);
  EnvironmentVariable comspec("COMSPEC", tooLong.c_str());
  SetLastError(0);
  EXPECT_EQ(launchCommand("notepad y.dat"), -1);
  EXPECT_EQ(GetLastError(), 2u | kOwnCode);
  EXPECT_EQ(log(), fits + " /c notepad x.dat\n");  // nothing more was started
}

TEST_F(WindowsLaunch, LongestComspecWithLongestCommandFillsTheBufferExactly) {
  std::string fits = paddedRecorderPath(260);
  EnvironmentVariable comspec("COMSPEC", fits.c_str());
  std::string command = "notepad " + std::string(1016, 'z');
  EXPECT_EQ(launchCommand(command), 0);
  EXPECT_EQ(log(), fits + " /c " + command + "\n");
}

TEST_F(WindowsLaunch, MissingInterpreter) {
  for (std::string missing : {(folder_ / "no_such_program.exe").string(),
                              (folder_ / "no_such_folder" / "cmd.exe").string()}) {
    EnvironmentVariable comspec("COMSPEC", missing.c_str());
    SetLastError(0);
    EXPECT_EQ(launchCommand("notepad x"), -1) << missing;
    EXPECT_EQ(GetLastError(), 2u | kOwnCode) << missing;
  }
  EXPECT_EQ(log(), "");
}

TEST_F(WindowsLaunch, InvalidProgram) {
  std::string data = (folder_ / "not_a_program.exe").string();
  std::ofstream(data, std::ios::binary) << "this is text, not a program\r\n";
  EnvironmentVariable comspec("COMSPEC", data.c_str());
  SetLastError(0);
  EXPECT_EQ(launchCommand("notepad x"), -1);
  EXPECT_EQ(GetLastError(), 8u | kOwnCode);
}

TEST(WindowsQuote, PlainNamesStayAsTheyAre) {
  for (const char* name : {"main.dat", "results\\run-1.txt", "caf\xE9.dat", "a+b@c.dat"}) {
    EXPECT_EQ(quoteForInterpreter(name), name);
  }
  EXPECT_EQ(quoteForInterpreter("my file.dat"), "\"my file.dat\"");
  EXPECT_EQ(quoteForInterpreter("a&b.dat"), "\"a&b.dat\"");
  EXPECT_EQ(quoteForInterpreter(""), "\"\"");
}

TEST_F(WindowsLaunch, HostileFileNameReachesTheProgramAsOneNameAndRunsNothing) {
  EnvironmentVariable comspec("COMSPEC", nullptr);
  fs::path marker = folder_ / "pwned";
  std::string m = marker.string();
  for (std::string name : {"x & echo 1> " + m, "a | echo 1> " + m, "a && echo 1> " + m,
                           "(a) > " + m, std::string("a^b; c, d=e"), "a < b > " + m}) {
    fs::remove(log_);
    EXPECT_EQ(launchCommand(recorder_ + " " + quoteForInterpreter(name)), 0) << name;
    std::string line = log();
    std::string tail = " \"" + name + "\"\n";
    ASSERT_GE(line.size(), tail.size()) << name;
    EXPECT_EQ(line.substr(line.size() - tail.size()), tail) << name;
    EXPECT_FALSE(fs::exists(marker)) << name;
  }
}

}  // namespace
}  // namespace kv
