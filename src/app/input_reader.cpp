#include "app/input_reader.h"

#include "app/session.h"
#include "base/text_field.h"
#include "launch/launch.h"
#include "text/record_writer.h"

namespace kv {

namespace {

std::string openName(const std::string& field) { return std::string(adjusted(field)); }

}  // namespace

void readValueRecords(ListDirectedReader& in, int32_t count, double& value) {
  int32_t discarded = 0;
  for (int32_t k = 1; k <= count; ++k) {
    in.read({InputItem::integer(discarded), InputItem::real(value)});
  }
}

void readGridFile(ListDirectedReader& in, int32_t variableNumber, double& h, double& value) {
  in.read({InputItem::real(h)});
  readValueRecords(in, variableNumber, value);
}

void readParameters(ListDirectedReader& main, RunParameters& p) {
  main.read({InputItem::integer(p.variableNumber)});
  main.read({InputItem::text(p.listingFile, kFileNameLength)});
  main.read({InputItem::integer(p.hasExactSolution)});
  main.read({InputItem::text(p.exactSolutionFile, kFileNameLength)});
  main.read({InputItem::integer(p.pL)});
  main.read({InputItem::integer(p.deltaP)});
  main.read({InputItem::real(p.Fs)});
  main.read({InputItem::integer(p.refinementType)});
  main.read({InputItem::integer(p.maxIterations)});
  main.read({InputItem::real(p.tolerance)});
  main.read({InputItem::real(p.pUMin)});
  main.read({InputItem::real(p.pUMax)});
  main.read({InputItem::integer(p.gridCount)});
}

void readGridNames(ListDirectedReader& main, RunData& run) {
  RunParameters& p = run.params;
  GridSeries& g = run.grid;
  for (int i = 1; i <= g.count; ++i) {
    main.read({InputItem::text(g.gridFile(i), kFileNameLength)});
    g.pV(i) = trueOrder(p, i);
    g.pV_text(i) = twoCharacterText(g.pV(i));
  }
  main.read({InputItem::text(p.title, kTitleLength)});
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
