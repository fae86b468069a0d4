#include "app/session.h"

#include <ctime>
#include <filesystem>
#include <string>

#include "base/fatal.h"
#include "base/text_field.h"
#include "launch/launch.h"
#include "plots/output_files.h"
#include "text/record_writer.h"

namespace kv {

std::string editorCommand(std::string_view fileName) {
  return "notepad " + quoteForInterpreter(adjusted(fileName));
}

namespace {

// Whether `other` designates the listing file: the same file on disk when the listing exists
// already, otherwise the same name once normalised (letter case aside, as on the tool's native
// platform).
bool isListing(std::string_view listing, bool listingExists, std::string_view other) {
  namespace fs = std::filesystem;
  fs::path a{std::string(listing)}, b{std::string(other)};
  if (listingExists) {
    std::error_code error;
    bool same = fs::equivalent(a, b, error);
    if (!error) return same;
  }
  return equalIgnoringCase(a.lexically_normal().string(), b.lexically_normal().string());
}

}  // namespace

void checkListingName(const RunData& run, std::string_view listingName) {
  const RunParameters& p = run.params;
  std::error_code error;
  const bool exists = std::filesystem::exists(std::string(listingName), error);
  auto refuseIf = [&](std::string_view other) {
    if (isListing(listingName, exists, other)) {
      FatalFile(FatalCode::OpenFailure, kListingUnit, listingName);
    }
  };
  refuseIf(kStartFile);
  refuseIf(adjusted(p.mainDataFile));
  if (p.hasExact()) refuseIf(adjusted(p.exactSolutionFile));
  for (int i = 1; i <= run.grid.count; ++i) refuseIf(adjusted(run.grid.gridFile(i)));
  for (const OutputFileEntry& file : outputFiles()) refuseIf(file.name);
}

LocalTime currentLocalTime() {
  std::time_t now = std::time(nullptr);
  const std::tm* t = std::localtime(&now);
  if (t == nullptr) return LocalTime{1970, 1, 1, 0, 0, 0};
  return LocalTime{t->tm_year + 1900, t->tm_mon + 1, t->tm_mday, t->tm_hour, t->tm_min, t->tm_sec};
}

namespace {

// A number in decimal without leading zeros and without blanks, keeping at most `keep`
// characters.
std::string number(int value, size_t keep) { return std::to_string(value).substr(0, keep); }

}  // namespace

void buildRunStamp(RunParameters& params, const LocalTime& now) {
  std::string date = "(";
  date.append(number(now.day, 2)).append("/").append(number(now.month, 2)).append("/");
  date.append(number(now.year, 4)).append(")");
  params.runDate = fixedText(date, kRunDateLength);
  std::string time = number(now.hour, 2);
  time.append(":").append(number(now.minute, 2)).append(":").append(number(now.second, 4));
  params.runTime = fixedText(time, kRunTimeLength);
}

void buildPlotTitle(RunParameters& params) {
  std::string text(trimmed(params.title));
  text += " ";
  text += trimmed(params.runDate);
  text += "'";
  params.plotTitle = fixedText(text, kPlotTitleLength);
}

}  // namespace kv
