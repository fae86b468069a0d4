#include "command/manual.h"

#include <gtest/gtest.h>

#include <sstream>
#include <stdexcept>
#include <string>

namespace kv::study {
namespace {

const char* const kPage = "@STUDY_SUMMARY@\n@CASE@\n@STUDY_OPTIONS@@MERGE_SUMMARY@\n@SLAB_DIR@\n@MERGE_OPTIONS@";
const char* const kScript = "options=\"@STUDY_OPTIONS@\" merge=\"@MERGE_OPTIONS@\"\ncase $prev in\n@VALUES@\nesac\n";

// A template that has lost a placeholder stops the build rather than leave the options out.
TEST(Manual, TemplateWithoutAPlaceholderIsRefused) {
  EXPECT_THROW(manPage("@STUDY_SUMMARY@ @CASE@ @STUDY_OPTIONS@"), std::runtime_error);
  EXPECT_THROW(bashCompletion("\"@STUDY_OPTIONS@\" \"@MERGE_OPTIONS@\""), std::runtime_error);
}

// No text of a row or a description is taken by troff for a request or an escape: every line
// that starts with . is the .TP of an option, and every backslash starts an escape we write.
TEST(Manual, ManPageTextIsEscaped) {
  std::istringstream page(manPage(kPage));
  for (std::string line; std::getline(page, line);) {
    if (!line.empty() && (line.front() == '.' || line.front() == '\'')) {
      EXPECT_EQ(line, ".TP");
    }
    for (size_t at = line.find('\\'); at != std::string::npos; at = line.find('\\', at + 2)) {
      EXPECT_NE(std::string("-fe&").find(line[at + 1]), std::string::npos) << line;
    }
  }
  EXPECT_NE(manPage(kPage).find("\\fB\\-\\-order\\fR \\fIP\\fR\n"), std::string::npos);
}

// Every option is in the page and offered (--block-points among them), a number's value is not
// completed as a file name, and the choices of --format complete as words.
TEST(Manual, EveryOptionAndItsValues) {
  const std::string script = bashCompletion(kScript), page = manPage(kPage);
  EXPECT_NE(page.find("\\-\\-block-points"), std::string::npos);
  EXPECT_NE(script.substr(0, script.find('\n')).find("--block-points"), std::string::npos);
  EXPECT_NE(script.find("|--block-points) return ;;"), std::string::npos);
  EXPECT_NE(script.find("--format) COMPREPLY=($(compgen -W \"table csv json latex markdown\" -- \"$cur\")); return ;;"),
            std::string::npos);
}

}  // namespace
}  // namespace kv::study
