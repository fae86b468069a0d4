#include "text/record_writer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

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

}  // namespace
}  // namespace kv
