#include "text/record_writer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <fstream>
#include <sstream>
#if !defined(_WIN32)
#include <csignal>
#include <sys/resource.h>
#endif

#include "temp_folder.h"
#include "text/list_directed.h"

namespace kv {
namespace {

namespace fs = std::filesystem;

class InTempFolder : public ::testing::Test {
 protected:
  static std::string contents(const std::string& name) { return testing_support::fileBytes(name); }
  testing_support::TempFolder folder_{"kv_writer"};
};

TEST_F(InTempFolder, RecordsEndWithCrLfAndReplaceTheOldContent) {
  {
    std::ofstream old("out.dat", std::ios::binary);
    for (int i = 0; i < 10; ++i) old << "old record number " << i << "\r\n";
  }
  FormattedRecordWriter out(kPlotUnit, "out.dat");
  Format f("(I2)");
  for (int i = 1; i <= 3; ++i) out.write(f, {i});
  out.close();
  EXPECT_EQ(contents("out.dat"), " 1\r\n 2\r\n 3\r\n");
}

TEST_F(InTempFolder, LiteralsAreWrittenAsLatin1Bytes) {
  FormattedRecordWriter out(kListingUnit, "listing.txt");
  out.write(Format("(I4,19X,' = número de malhas')"), {6});
  out.close();
  EXPECT_EQ(contents("listing.txt"), "   6" + std::string(19, ' ') + " = n\xFAmero de malhas\r\n");
}

TEST_F(InTempFolder, OpenFailureEndsTheRun) {
  for (const char* name : {"", "missing_folder/x.txt", "."}) {
    EXPECT_EXIT(FormattedRecordWriter(kListingUnit, name), ::testing::ExitedWithCode(30),
                std::string("^kestrovanilque: severe \\(30\\): open failure, unit 10, file ") +
                    (std::string(name) == "." ? "\\." : name) + "\n$")
        << name;
  }
}

TEST_F(InTempFolder, FatalErrorKeepsTheRecordsAlreadyWritten) {
  EXPECT_EXIT(
      {
        FormattedRecordWriter out(kListingUnit, "listing.txt");
        out.write(Format("('head')"), {});
        ListDirectedReader in(kInputUnit, "missing.dat");
        in.skipRecord();
      },
      ::testing::ExitedWithCode(24), "file missing.dat");
  EXPECT_EQ(contents("listing.txt"), "head\r\n");
  // The missing input file was created empty by the open.
  EXPECT_TRUE(fs::exists("missing.dat"));
  EXPECT_EQ(fs::file_size("missing.dat"), 0u);
}

TEST_F(InTempFolder, WriteFailureEndsTheRun) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full here";
  EXPECT_EXIT(
      {
        FormattedRecordWriter out(kPlotUnit, "/dev/full");
        out.write(Format("(A)"), {std::string(3 << 20, 'x')});
        out.close();
      },
      ::testing::ExitedWithCode(38), "^kestrovanilque: severe \\(38\\): error during write, unit 11, file /dev/full\n$");
}

TEST_F(InTempFolder, NamesWithControlCharactersAreNeverOpened) {
  // Shown with '?' in the one fatal line; nothing is created, not even the name before a NUL.
  for (std::string name : {std::string("list\ning.txt"), std::string("g1.dat\0x", 8),
                           std::string("a\x1b[31m.dat"), std::string("tab\t.txt")}) {
    std::string shown = name;
    for (char& c : shown) c = static_cast<unsigned char>(c) < 0x20 ? '?' : c;
    std::string line = "^kestrovanilque: severe \\(30\\): open failure, unit 1[01], file " +
                       std::regex_replace(shown, std::regex(R"([?\[.])"), R"(\$&)") + "\n$";
    EXPECT_EXIT(FormattedRecordWriter(kListingUnit, name), ::testing::ExitedWithCode(30), line);
    EXPECT_EXIT(ListDirectedReader(kInputUnit, name), ::testing::ExitedWithCode(30),
                std::regex_replace(line, std::regex("1\\[01\\]"), "7"));
    EXPECT_TRUE(fs::is_empty(".")) << name;
  }
}

TEST_F(InTempFolder, AReplacementTakesTheFilesPlaceWhenComplete) {
  std::ofstream("script.gnu", std::ios::binary) << "prepared\r\nold title\r\n";
  {
    FormattedRecordWriter out(kPlotUnit, "script.gnu", FormattedRecordWriter::Mode::Replace);
    out.writeBytes("prepared\r\n");
    out.write(Format("(A)"), {"new title"});
    EXPECT_EQ(contents("script.gnu"), "prepared\r\nold title\r\n");  // not yet replaced
    out.close();
  }
  EXPECT_EQ(contents("script.gnu"), "prepared\r\nnew title\r\n");
  EXPECT_FALSE(fs::exists("script.gnu.partial"));
#if !defined(_WIN32)
  // Through a symbolic link the file it names is replaced; the link stays.
  fs::create_directory("shared");
  fs::rename("script.gnu", "shared/script.gnu");
  fs::create_symlink("shared/script.gnu", "script.gnu");
  FormattedRecordWriter(kPlotUnit, "script.gnu", FormattedRecordWriter::Mode::Replace)
      .writeBytes("linked\r\n");
  EXPECT_TRUE(fs::is_symlink("script.gnu"));
  EXPECT_EQ(contents("shared/script.gnu"), "linked\r\n");
#endif
}

#if !defined(_WIN32)
TEST_F(InTempFolder, AReplacementThatFailsLeavesTheFileAsItWas) {
  const std::string old = "prepared line 1\r\nprepared line 2\r\n";
  std::ofstream("script.gnu", std::ios::binary) << old;
  auto rewriteOntoAFullDisk = [&] {
    // A disk that fills up: no file may grow beyond 100 bytes.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{100, RLIM_INFINITY};
    setrlimit(RLIMIT_FSIZE, &limit);
    FormattedRecordWriter out(kPlotUnit, "script.gnu", FormattedRecordWriter::Mode::Replace);
    out.writeBytes(old);
    out.write(Format("(A)"), {std::string(200, 'x')});
    out.close();
  };
  EXPECT_EXIT(rewriteOntoAFullDisk(),
      ::testing::ExitedWithCode(38),
      "^kestrovanilque: severe \\(38\\): error during write, unit 11, file script.gnu\n$");
  EXPECT_EQ(contents("script.gnu"), old);
  EXPECT_FALSE(fs::exists("script.gnu.partial"));
}
#endif

}  // namespace
}  // namespace kv
