#include "cases/case_kind.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "temp_folder.h"

namespace kv::study {
namespace {

// An HDF5 file is known by its extension or, under any name, by its signature.
TEST(CaseKind, FindsHdf5Cases) {
  kv::testing_support::TempFolder folder("kv_case_kind");
  kv::testing_support::writeBytes("field.dat", std::string("\x89HDF\r\n\x1a\n\0\0", 10));
  kv::testing_support::writeBytes("table.csv", "h,a\n1,2\n2,3\n");
  const struct {
    const char* file;
    bool hdf5;
  } cases[] = {{"field.h5", true},   {"FIELD.HDF5", true}, {"x.he5", true}, {"field.dat", true},
               {"table.csv", false}, {"missing.csv", false}, {"-", false}, {".", false}};
  for (const auto& c : cases) EXPECT_EQ(isHdf5File(c.file), c.hdf5) << c.file;
}

// The start file leads to the main data file it names, quoted or not; an empty name is refused.
TEST(CaseKind, StartFileNamesTheMainDataFile) {
  kv::testing_support::TempFolder folder("kv_case_kind_start");
  const struct {
    const char* start;
    const char* error;  // a part of the message
  } cases[] = {{"''\n", "names no main data file"},
               {"\"\"\n", "names no main data file"},
               {"'gone.txt'\n", "gone.txt"},
               {"gone.txt\n", "gone.txt"}};
  for (const auto& c : cases) {
    kv::testing_support::writeBytes("Kestrovanilque.in", c.start);
    try {
      readCase("Kestrovanilque.in", {});
      ADD_FAILURE() << c.start;
    } catch (const Failure& e) {
      const std::string message = std::string(e.file()) + ": " + e.what();
      EXPECT_NE(message.find(c.error), std::string::npos) << c.start << " -> " << message;
      EXPECT_EQ(message.find('\''), std::string::npos) << message;  // the quotes are not part of the name
    }
  }
}

}  // namespace
}  // namespace kv::study
