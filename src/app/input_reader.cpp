#include "app/input_reader.h"

#include "app/session.h"
#include "base/text_field.h"
#include "launch/launch.h"
#include "model/main_data_file.h"
#include "text/record_writer.h"

namespace kv {

namespace {

std::string openName(const std::string& field) { return std::string(adjusted(field)); }

}  // namespace

void readValueRecords(ListDirectedReader& in, int32_t count, double& value) {
  for (int32_t k = 1; k <= count; ++k) readValueRecord(in, value);
}

void readGridFile(ListDirectedReader& in, int32_t variableNumber, double& h, double& value) {
  in.read({InputItem::real(h)});
  readValueRecords(in, variableNumber, value);
}

void readParameters(ListDirectedReader& main, RunParameters& p) { readMainDataParameters(main, p); }

void readGridNames(ListDirectedReader& main, RunData& run) {
  RunParameters& p = run.params;
  GridSeries& g = run.grid;
  for (int i = 1; i <= g.count; ++i) {
    readGridFileName(main, g.gridFile(i));
    g.pV(i) = trueOrder(p, i);
    g.pV_text(i) = twoCharacterText(g.pV(i));
  }
  readTitle(main, p.title);
}

void readInput(RunData& run) {
  RunParameters& p = run.params;
  GridSeries& g = run.grid;

  // The editor launches are not checked: without an editor the run goes on with the files as
  // they are.
  launchCommand(editorCommand(kStartFile));
  {
    ListDirectedReader start(kInputUnit, kStartFile);
    start.read({InputItem::text(p.mainDataFile, kFileNameLength)});
  }
  launchCommand(editorCommand(p.mainDataFile));

  ListDirectedReader main(kInputUnit, openName(p.mainDataFile));
  readParameters(main, p);
  g.allocate(p.gridCount);
  readGridNames(main, run);

  if (p.hasExact()) {
    ListDirectedReader exact(kInputUnit, openName(p.exactSolutionFile));
    readValueRecords(exact, p.variableNumber, p.exactValue);
  }

  for (int i = 1; i <= g.count; ++i) {
    ListDirectedReader grid(kInputUnit, openName(g.gridFile(i)));
    readGridFile(grid, p.variableNumber, g.h(i), g.Th(i));
  }
}

}  // namespace kv
