#include "command/arguments.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <charconv>
#include <cmath>

#include "text/number.h"

namespace kv::study {

namespace {

// A real option: a finite number of the Decimal grammar within (low, high) (or [low, high] with
// `closed`); the message says what it must be.
CLI::Validator realIn(double low, double high, bool closed, std::string must) {
  return CLI::Validator(
      [=](std::string& text) {
        double x = 0.0;
        if (!readReal(text, x, NumberGrammar::Decimal) || !std::isfinite(x) ||
            !(closed ? (x >= low && x <= high) : (x > low && x < high))) {
          return must + ", not " + text;
        }
        return std::string();
      },
      "");
}

void addOptions(CLI::App& app, Arguments& a) {
  const bool merge = a.command == Arguments::Command::Merge;
  if (merge) {
    app.add_option("SLAB_DIR", a.slabFolders, "the output folders of every slab (study FIELD.h5 --slab I/N), in any order")
        ->required();
    app.add_option("--out", a.output.out, "the output folder of the whole field")->required();
  } else {
    app.add_option("CASE", a.caseFile,
                   "CSV table (h or cells, then one column per quantity; - reads standard input), field "
                   "table (h,file: point files, or grid files with coordinates), space-time table of runs (h,dt, then one column per quantity), classic main data file, or HDF5 field")
        ->required();
    app.add_option("--out", a.output.out, "output folder (default: CASE without extension + .study)");
  }
  app.add_option("--format", a.output.format,
                 "what standard output shows: table, csv, json, or (a table of quantities) latex or markdown")
      ->check(CLI::IsMember({"table", "csv", "json", "latex", "markdown"}));
  app.add_option("--order", a.options.order, "theoretical order (default: pL of a main data file, else 2)")
      ->check(realIn(0.0, 100.0, false, "the theoretical order: a number above 0 and below 100"));
  app.add_option("--time-order", a.options.timeOrder,
                 "space-time tables (h,dt): theoretical order of the time integration (default 1; --order is that of the grid)")
      ->check(realIn(0.0, 100.0, false, "the theoretical order in time: a number above 0 and below 100"));
  app.add_option("--fs", a.options.fs, "safety factor (default: 1.25 with three or more grids, 3 with two)")
      ->check(realIn(0.0, 1e6, false, "a safety factor: a number above 0"));
  app.add_option("--target-gci", a.options.targetGci,
                 "a GCI_fine21 to reach, as a fraction (0.01 is 1 %): the spacing (and with --cells, the cell count) it needs")
      ->check(realIn(0.0, 1.0, false, "a fraction: 0 < X < 1 (0.01 for 1 %)"));
  app.add_option("--noise", a.options.noise,
                 "the absolute noise level of the values (iterative convergence, digits written): changes within it classify as within-noise")
      ->check(realIn(-1e-300, 1e300, false, "an absolute level: a finite number, 0 or above"));
  auto* cells = app.add_flag("--cells", a.options.cells, "the first column holds cell counts: h = cells^(-1/D)");
  auto* dim = app.add_option("--dim", a.options.dimension, "dimension D of the cell counts (1, 2 or 3)")
                  ->check(CLI::Range(1, 3))
                  ->needs(cells);
  cells->needs(dim);
  app.add_flag("--no-plots", a.output.noPlots, "do not draw the plots of report.html");
  app.add_option("--plot-timeout", a.output.plotTimeout,
                 "seconds gnuplot may take to draw the plots (default 120); beyond them it is stopped and the report has no plots")
      ->check(realIn(0.0, 1e6, false, "a number of seconds above 0"));
  app.add_flag("--strict", a.output.strict, "exit 1 when a quantity or point does not converge monotonically or has no observed order (a space-time table: has no U, or a warning other than which error dominates)");
  app.add_flag("--field", a.options.field,
               "study a main data file as a field, one point per value record, however few the records (by default a field needs more than 100)");
  app.add_flag("--no-least-squares", [&a](int64_t) { a.options.leastSquares = false; },
               "leave out the least-squares estimate (four grids or more), which is otherwise computed for every quantity and point");
  app.add_flag("--least-squares", [&a](int64_t) { a.options.leastSquares = true; },
               "the least-squares estimate (the default)");
  app.add_option("--threads", a.options.threads, "threads of a field study (default: all cores)")->check(CLI::Range(1u, 1024u));
  app.add_option_function<std::string>(
         "--slab", [&a](const std::string& text) { a.options.slab = parseSlab(text); },
         "HDF5 fields: study only the I-th of N contiguous slabs of points (I/N), for job arrays")
      ->check(CLI::Validator(
          [](std::string& text) {
            return parseSlab(text) ? std::string() : text + ": write I/N with 1 <= I <= N, e.g. --slab 3/8";
          },
          "I/N"));
  app.add_flag("--no-csv", a.options.noCsv, "HDF5 fields: write summary.h5, not summary.csv");
  app.add_option("--at", a.options.at,
                 "grids that share no points: study the field at the points of this CSV (x,y[,z]) instead of the coarsest grid's");
  app.add_option("--interp-degree", a.options.interpDegree,
                 "grids that share no points: the degree of the interpolation to the study points, 1, 2 or 3 "
                 "(default: the theoretical order; 1 is linear)")
      ->check(CLI::Range(1, 3));
  app.add_option("--block-points", a.options.blockPoints, "points read and computed at a time")
      ->check(CLI::Range(uint64_t{1}, uint64_t{1} << 40))
      ->group("");
  if (merge) {
    // A merge keeps the settings of its slabs: its help lists only what applies to it.
    for (CLI::Option* option : app.get_options()) {
      if (!option->get_lnames().empty() && !optionApplies("--" + option->get_lnames().front(), CaseKind::Slabs)) {
        option->group("");
      }
    }
  }
}

}  // namespace

std::string_view programName(Arguments::Command command) {
  return command == Arguments::Command::Merge ? "kestrovanilque merge" : "kestrovanilque study";
}

bool Arguments::has(std::string_view option) const {
  return std::find(given.begin(), given.end(), option) != given.end();
}

ParsedCommand parseCommand(int argc, const char* const* argv) {
  ParsedCommand parsed;
  Arguments a;
  a.command = argc > 1 && std::string_view(argv[1]) == "merge" ? Arguments::Command::Merge : Arguments::Command::Study;
  const std::string name(programName(a.command));
  CLI::App app{a.command == Arguments::Command::Merge
                   ? "Joins the output folders of the slabs of a job array (study FIELD.h5 --slab I/N) into the "
                     "outputs of one run over the whole field."
                   : "Grid-convergence study of every quantity or point of a case: the standard procedure "
                     "(Celik et al. 2008) on the three finest grids, six uncertainty estimates and, for a table, "
                     "the classic series over all grids. Writes summary.csv, study.json and report.html.",
               name};
  addOptions(app, a);
  try {
    app.parse(argc - 1, argv + 1);
  } catch (const CLI::CallForHelp&) {
    parsed.out = app.help();
    return parsed;
  } catch (const CLI::ParseError& e) {
    parsed.status = 2;
    // One line naming the option, then where the options are explained (not all of them again).
    parsed.err = name + ": error: " + e.what() + "\nRun '" + name + " --help' for the options.\n";
    return parsed;
  }
  for (const CLI::Option* option : app.get_options()) {
    if (option->count() > 0 && !option->get_lnames().empty()) a.given.push_back("--" + option->get_lnames().front());
  }
  parsed.arguments = std::move(a);
  return parsed;
}

}  // namespace kv::study
