// The session around a run: the editor launches and the command for them, the check of the
// listing's name against the run's other files, and the run stamp (date, time, plot title).
#pragma once

#include <string>
#include <string_view>

#include "model/run_data.h"

namespace kv {

// The start file, looked up in the current directory; its one value names the main data file.
inline constexpr const char* kStartFile = "Kestrovanilque.in";

// The editor command for a file name: "notepad " + the name left-adjusted and trimmed, the name
// quoted for the command interpreter when it holds characters the interpreter would act on.
std::string editorCommand(std::string_view fileName);

// Ends the run with the open-failure line when `listingName` designates one of the run's
// input files or one of its fixed result file and script names: writing the listing there
// would destroy the input or mix two files in one.
void checkListingName(const RunData& run, std::string_view listingName);

// A local date and time of day.
struct LocalTime {
  int year, month, day, hour, minute, second;
};

// The local clock now.
LocalTime currentLocalTime();

// Fills runDate, "(" day "/" month "/" year ")" in 12 characters, and runTime,
// hour ":" minute ":" second in 8, every number without leading zeros:
// 6 January 2026, 9 h 05 min 07 s gives "(6/1/2026)  " and "9:5:7   ".
void buildRunStamp(RunParameters& params, const LocalTime& now);

// plotTitle = trimmed title + " " + trimmed runDate + "'", in 102 characters.
void buildPlotTitle(RunParameters& params);

}  // namespace kv
