#include "report/gnuplot.h"

#include <fstream>
#include <sstream>

#include "io/platform.h"
#include "io/scratch_folder.h"

namespace kv::study {

namespace fs = std::filesystem;

namespace {

std::string readAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void replaceAll(std::string& text, const std::string& from, const std::string& to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
}

std::string seconds(double s) {
  std::ostringstream out;
  out << s;
  return out.str();
}

}  // namespace

std::string gnuplotQuoted(const std::string& text) {
  std::string out = "'";
  for (char c : text) {
    if (c == '\'') out.push_back('\'');
    if (c != '\n' && c != '\r') out.push_back(c);
  }
  return out + "'";
}

DrawnPlots drawWithGnuplot(const std::function<std::string(const fs::path& folder)>& script,
                           std::span<const std::string> files, double timeoutSeconds) {
  DrawnPlots out;
  io::ScratchFolder folder;
  if (auto failure = folder.create("plots")) {
    out.note = *failure;
    return out;
  }
  const fs::path scriptFile = folder.file("plots.gp");
  for (const std::string& name : files) folder.file(name);
  {
    std::ofstream file(scriptFile, std::ios::binary);
    file << script(folder.path());
    if (!file) {
      out.note = "the gnuplot script cannot be written in " + folder.path().string();
      return out;
    }
  }
  io::platform::ChildCommand gnuplot;
  gnuplot.argv = {"gnuplot", scriptFile.string()};
  gnuplot.quiet = true;
  gnuplot.timeoutSeconds = timeoutSeconds;
  gnuplot.endOnInterrupt = true;
  const io::platform::ChildResult ran = io::platform::runChild(gnuplot);
  using Outcome = io::platform::ChildResult::Outcome;
  if (ran.outcome == Outcome::TimedOut) {
    out.note = "gnuplot did not finish within " + seconds(timeoutSeconds) +
               " s and was stopped (--plot-timeout sets the limit)";
    return out;
  }
  if (ran.outcome == Outcome::NotStarted || (ran.outcome == Outcome::Exited && ran.code == 127)) {
    out.note = "gnuplot is not available (install gnuplot-nox and run the study again)";
    return out;
  }
  if (ran.outcome != Outcome::Exited || ran.code != 0) {
    out.note = "gnuplot failed on the plot script";
    return out;
  }
  out.available = true;
  for (const std::string& name : files) {
    out.svgs.push_back(readAll(folder.path() / name));
    if (out.svgs.back().empty()) out.available = false;
  }
  if (!out.available) {
    out.svgs.clear();
    out.note = "gnuplot did not draw every plot";
  }
  return out;
}

std::string inlineSvg(const std::string& svg, const std::string& prefix) {
  const size_t start = svg.find("<svg");
  if (start == std::string::npos) return "";
  std::string out = svg.substr(start);
  replaceAll(out, "id='", "id='" + prefix);
  replaceAll(out, "id=\"", "id=\"" + prefix);
  replaceAll(out, "href='#", "href='#" + prefix);
  replaceAll(out, "href=\"#", "href=\"#" + prefix);
  replaceAll(out, "url(#", "url(#" + prefix);
  return out;
}

}  // namespace kv::study
