// The main data file, read by the classic run and by the study alike: thirteen parameters, one
// record each in this order, then the name of each grid file (coarsest first), then the title.
// What each item is, for messages: mainDataItems().
#pragma once

#include <span>
#include <string>

#include "model/run_parameters.h"
#include "text/list_directed.h"

namespace kv {

struct MainDataItem {
  const char* what;  // "the variable number (line 1)", ...
  InputItem (*item)(RunParameters& p);
};

// The thirteen parameters, in the order of the file.
std::span<const MainDataItem> mainDataItems();

// Reads the thirteen parameters. When `reading` is given it names the item being read, so that
// a caller whose reader throws (ListDirectedReader::throwOnFailure) can say what failed.
void readMainDataParameters(ListDirectedReader& in, RunParameters& p, const char** reading = nullptr);

// One grid file name; the title.
void readGridFileName(ListDirectedReader& in, std::string& name);
void readTitle(ListDirectedReader& in, std::string& title);

// One value record of a grid or exact-solution file: an integer (discarded) and a value.
void readValueRecord(ListDirectedReader& in, double& value);

}  // namespace kv
