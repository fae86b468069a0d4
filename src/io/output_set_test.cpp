#include "io/output_set.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "io/platform.h"
#include "temp_folder.h"

namespace kv::io {
namespace {

namespace fs = std::filesystem;
using testing_support::fileBytes;
using testing_support::writeBytes;

size_t entries(const fs::path& dir) {
  return static_cast<size_t>(std::distance(fs::directory_iterator(dir), fs::directory_iterator()));
}

std::optional<Error> writeAll(const fs::path& dir, std::initializer_list<std::pair<std::string, std::string>> files) {
  OutputSet set(dir);
  if (auto failure = set.create()) return failure;
  for (const auto& [name, bytes] : files) {
    if (auto failure = set.write(name, bytes)) return failure;
  }
  return set.commit();
}

TEST(OutputSet, AllOrNothing) {
  testing_support::TempFolder tmp("kv_output");
  const fs::path dir = tmp.path() / "a" / "b";
  ASSERT_FALSE(writeAll(dir, {{"one.txt", "1\n"}, {"two.txt", "2\n"}}).has_value());
  EXPECT_EQ(fileBytes(dir / "two.txt"), "2\n");
  EXPECT_EQ(entries(dir), 2u);
  // An output whose place a folder holds: nothing replaced, no temporary file left.
  fs::create_directories(dir / "three.txt" / "inside");
  const auto blocked = writeAll(dir, {{"one.txt", "changed\n"}, {"three.txt", "3\n"}});
  ASSERT_TRUE(blocked);
  EXPECT_EQ(blocked->where(), (dir / "three.txt").string() + ": exists and is not a file");
  EXPECT_EQ(fileBytes(dir / "one.txt"), "1\n");
  EXPECT_EQ(entries(dir), 3u);
  // A folder that cannot be made (a file stands in its way); one made and then abandoned goes.
  writeBytes(tmp.path() / "file", "x");
  EXPECT_TRUE(writeAll(tmp.path() / "file" / "x", {{"one.txt", "1"}}).has_value());
  {
    OutputSet abandoned(tmp.path() / "new" / "deeper");
    ASSERT_FALSE(abandoned.create());
    ASSERT_FALSE(abandoned.write("one.txt", "1"));
  }
  EXPECT_FALSE(fs::exists(tmp.path() / "new"));
  EXPECT_EQ(entries(tmp.path()), 2u);
}

// Symbolic links planted at the temporary names an output would take, pointing outside the
// folder, are never followed: the output is written under another name, the target untouched.
TEST(OutputSet, PlantedLinksAreNeverFollowed) {
  testing_support::TempFolder tmp("kv_links");
  fs::create_directory("out");
  writeBytes("precious", "keep me");
  for (int attempt = 0; attempt < 5; ++attempt) {
    fs::create_symlink(fs::absolute("precious"), temporaryPath((fs::path("out") / "summary.csv").string(), attempt));
  }
  ASSERT_FALSE(writeAll("out", {{"summary.csv", "rows\n"}}));
  EXPECT_EQ(fileBytes("precious"), "keep me");
  EXPECT_EQ(fileBytes("out/summary.csv"), "rows\n");
  EXPECT_TRUE(fs::is_symlink(temporaryPath("out/summary.csv", 0)));  // not ours: left alone
}

// A rerun removes the temporaries of its own outputs that a process of this machine left when it
// was killed, and nothing else: not those of a process that still runs, of another machine, or
// of files that are not its outputs.
TEST(OutputSet, ARerunRemovesStaleTemporaries) {
  testing_support::TempFolder tmp("kv_stale");
  fs::create_directory("out");
  const pid_t dead = fork();
  if (dead == 0) _exit(0);
  waitpid(dead, nullptr, 0);
  const std::string host = platform::hostName();
  auto name = [&](const std::string& output, const std::string& machine, long pid) {
    return "out/." + output + "." + machine + "." + std::to_string(pid) + ".part";
  };
  const std::string stale[] = {name("summary.csv", host, dead), name("summary.csv.rank3", host, dead)};
  const std::string kept[] = {name("summary.csv", host, getppid()), name("summary.csv", "elsewhere", dead),
                              name("notes.txt", host, dead), "out/.summary.csv.part"};
  for (const std::string& f : stale) writeBytes(f, "old");
  for (const std::string& f : kept) writeBytes(f, "keep");
  OutputSet set("out");
  const std::string_view outputs[] = {"summary.csv", "study.json"};
  ASSERT_FALSE(set.create(outputs));
  for (const std::string& f : stale) EXPECT_FALSE(fs::exists(f)) << f;
  for (const std::string& f : kept) EXPECT_TRUE(fs::exists(f)) << f;
}

// Two runs into one folder at once: the second is refused at once and leaves the first's
// outputs alone; once the first ends, the folder is free again.
TEST(OutputSet, OneRunAtATimeInAFolder) {
  testing_support::TempFolder tmp("kv_lock");
  {
    OutputSet first("out");
    ASSERT_FALSE(first.create());
    ASSERT_FALSE(first.write("one.txt", "1"));
    OutputSet second("out");
    const auto busy = second.create();
    ASSERT_TRUE(busy);
    EXPECT_EQ(busy->where(), "another study is writing into out now: wait for it to end");
    ASSERT_FALSE(first.commit());
  }
  EXPECT_EQ(fileBytes("out/one.txt"), "1");
  EXPECT_FALSE(writeAll("out", {{"one.txt", "2"}}));
  EXPECT_EQ(fileBytes("out/one.txt"), "2");
}

// The commit's steps, in order, for the earlier set {a, c} replaced by {a, b, c}.
std::vector<std::pair<std::string, std::string>> commitSteps() {
  return {{"close", "a"},   {"close", "b"},   {"close", "c"},  {"journal", ""}, {"backup", "a"},
          {"backup", "c"},  {"replace", "a"}, {"replace", "b"}, {"replace", "c"}, {"done", ""}, {"cleanup", ""}};
}

// What the folder holds, file by file (name: bytes), temporaries included.
std::map<std::string, std::string> holding(const fs::path& dir) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::directory_iterator(dir)) files[entry.path().filename().string()] = fileBytes(entry.path());
  return files;
}

const std::map<std::string, std::string> kEarlier = {{"a", "old a"}, {"c", "old c"}};
const std::map<std::string, std::string> kNew = {{"a", "new a"}, {"b", "new b"}, {"c", "new c"}};

void writeEarlier(const fs::path& dir) {
  fs::remove_all(dir);
  ASSERT_FALSE(writeAll(dir, {{"a", "old a"}, {"c", "old c"}}).has_value());
}

// A failure at any step of the commit leaves the complete earlier set, and nothing else.
TEST(OutputSet, AFailureAtAnyStepOfTheCommitKeepsTheEarlierSet) {
  testing_support::TempFolder tmp("kv_commit_fault");
  const fs::path dir = tmp.path() / "out";
  for (const auto& [step, name] : commitSteps()) {
    if (step == "cleanup") continue;  // the commit is done there
    writeEarlier(dir);
    setCommitFault([&](std::string_view s, const std::string& n) { return s == step && n == name; });
    const std::optional<Error> failure = writeAll(dir, {{"a", "new a"}, {"b", "new b"}, {"c", "new c"}});
    setCommitFault(nullptr);
    ASSERT_TRUE(failure) << step << " " << name;
    EXPECT_EQ(failure->kind, Error::Kind::Output);
    EXPECT_EQ(holding(dir), kEarlier) << step << " " << name;
  }
  writeEarlier(dir);
  ASSERT_FALSE(writeAll(dir, {{"a", "new a"}, {"b", "new b"}, {"c", "new c"}}).has_value());
  EXPECT_EQ(holding(dir), kNew);
}

// A process killed at any step of its commit (no handler, no destructor runs) leaves a folder
// that the next run repairs: the complete earlier set or the complete new one, nothing mixed,
// nothing left over.
TEST(OutputSet, AKillAtAnyStepOfTheCommitIsRepairedByTheNextRun) {
  testing_support::TempFolder tmp("kv_commit_kill");
  const fs::path dir = tmp.path() / "out";
  for (const auto& [step, name] : commitSteps()) {
    writeEarlier(dir);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      setCommitFault([&](std::string_view s, const std::string& n) {
        if (s == step && n == name) _exit(9);
        return false;
      });
      writeAll(dir, {{"a", "new a"}, {"b", "new b"}, {"c", "new c"}});
      _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 9) << step << " " << name;
    const std::vector<std::string_view> names = {"a", "b", "c"};
    const bool journalled = step != "close" && step != "journal" && step != "cleanup";
    EXPECT_EQ(repairInterruptedCommits(dir), journalled ? 1u : 0u) << step << " " << name;
    removeStaleTemporaries(dir, names);
    EXPECT_EQ(holding(dir), step == "cleanup" ? kNew : kEarlier) << step << " " << name;
  }
}

// What the folder holds, its subfolders' files too ("sub/x"), temporaries included.
std::map<std::string, std::string> holdingAll(const fs::path& dir) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(dir)) {
    if (entry.is_directory()) {
      files[fs::relative(entry.path(), dir).string() + "/"] = "";
    } else {
      files[fs::relative(entry.path(), dir).string()] = fileBytes(entry.path());
    }
  }
  return files;
}

bool figure(std::string_view name) { return name.size() > 4 && name.substr(name.size() - 4) == ".svg"; }

// The earlier set {a, sub/x.svg, sub/y.svg} (and a file of the user's in sub) replaced by
// {a, sub/x.svg}: y.svg, a figure no longer made, is retired.
const std::map<std::string, std::string> kEarlierSub = {
    {"a", "old a"}, {"sub/", ""}, {"sub/notes.txt", "mine"}, {"sub/x.svg", "old x"}, {"sub/y.svg", "old y"}};
const std::map<std::string, std::string> kNewSub = {{"a", "new a"}, {"sub/", ""}, {"sub/notes.txt", "mine"}, {"sub/x.svg", "new x"}};

void writeEarlierSub(const fs::path& dir) {
  fs::remove_all(dir);
  ASSERT_FALSE(writeAll(dir, {{"a", "old a"}, {"sub/x.svg", "old x"}, {"sub/y.svg", "old y"}}).has_value());
  writeBytes(dir / "sub" / "notes.txt", "mine");
}

std::optional<Error> writeNewSub(const fs::path& dir) {
  OutputSet set(dir);
  if (auto failure = set.create()) return failure;
  for (const auto& [name, bytes] : {std::pair{"a", "new a"}, std::pair{"sub/x.svg", "new x"}}) {
    if (auto failure = set.write(name, bytes)) return failure;
  }
  set.retireUnwritten("sub", figure);
  return set.commit();
}

// The commit's steps for kEarlierSub replaced as above.
const std::pair<std::string, std::string> kSubSteps[] = {
    {"close", "a"},        {"close", "sub/x.svg"},   {"journal", ""},          {"backup", "a"}, {"backup", "sub/x.svg"},
    {"backup", "sub/y.svg"}, {"replace", "a"},       {"replace", "sub/x.svg"}, {"done", ""},    {"cleanup", ""}};

// Outputs in a subfolder: made by the first output opened there, removed again with the set
// when it is discarded (a folder that was there stays), never a link or a file in its place.
TEST(OutputSet, OutputsInASubfolder) {
  testing_support::TempFolder tmp("kv_sub");
  const fs::path dir = tmp.path() / "out";
  {
    OutputSet abandoned(dir);
    ASSERT_FALSE(abandoned.create());
    ASSERT_FALSE(abandoned.write("sub/x.svg", "x"));
    EXPECT_TRUE(fs::is_directory(dir / "sub"));
  }
  EXPECT_FALSE(fs::exists(dir));
  ASSERT_FALSE(writeAll(dir, {{"a", "1"}, {"sub/x.svg", "x"}}));
  EXPECT_EQ(holdingAll(dir), (std::map<std::string, std::string>{{"a", "1"}, {"sub/", ""}, {"sub/x.svg", "x"}}));
  {
    OutputSet abandoned(dir);
    ASSERT_FALSE(abandoned.create());
    ASSERT_FALSE(abandoned.write("sub/z.svg", "z"));
  }
  EXPECT_EQ(holdingAll(dir), (std::map<std::string, std::string>{{"a", "1"}, {"sub/", ""}, {"sub/x.svg", "x"}}));
  // In the subfolder's place: a file, a link to a folder elsewhere; names that are no output's.
  fs::create_directory(tmp.path() / "elsewhere");
  struct Case {
    const char* what;
    std::function<void()> plant;
    std::string name;
    std::string message;
  };
  const Case cases[] = {
      {"file", [&] { writeBytes(dir / "f", "file"); }, "f/x.svg", (dir / "f").string() + ": exists and is not a folder"},
      {"link", [&] { fs::create_directory_symlink(tmp.path() / "elsewhere", dir / "l"); }, "l/x.svg",
       (dir / "l").string() + ": exists and is not a folder"},
      {"parent", [] {}, "../x.svg", (dir / "../x.svg").string() + ": is not the name of an output"},
      {"deeper", [] {}, "sub/deeper/x.svg", (dir / "sub/deeper/x.svg").string() + ": is not the name of an output"},
  };
  for (const Case& c : cases) {
    c.plant();
    const auto refused = writeAll(dir, {{"a", "2"}, {c.name, "x"}});
    ASSERT_TRUE(refused) << c.what;
    EXPECT_EQ(refused->where(), c.message) << c.what;
    EXPECT_EQ(fileBytes(dir / "a"), "1") << c.what;
  }
  EXPECT_TRUE(fs::is_empty(tmp.path() / "elsewhere"));
  EXPECT_FALSE(fs::exists(tmp.path() / "x.svg"));
}

// Earlier figures no longer made are retired with the commit; a failure at any step keeps the
// whole earlier set, a kill at any step is repaired by the next run; files that are not the
// tool's stay. Once every figure is retired, the empty subfolder goes too.
TEST(OutputSet, RetiredOutputsInASubfolderAreAllOrNothing) {
  testing_support::TempFolder tmp("kv_sub_commit");
  const fs::path dir = tmp.path() / "out";
  for (const auto& [step, name] : kSubSteps) {
    writeEarlierSub(dir);
    if (step != "cleanup") {
      setCommitFault([&](std::string_view s, const std::string& n) { return s == step && n == name; });
      const std::optional<Error> failure = writeNewSub(dir);
      setCommitFault(nullptr);
      ASSERT_TRUE(failure) << step << " " << name;
      EXPECT_EQ(holdingAll(dir), kEarlierSub) << step << " " << name;
    }
    writeEarlierSub(dir);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      setCommitFault([&](std::string_view s, const std::string& n) {
        if (s == step && n == name) _exit(9);
        return false;
      });
      writeNewSub(dir);
      _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 9) << step << " " << name;
    const std::string_view names[] = {"a", "sub/"};
    OutputSet next(dir);
    ASSERT_FALSE(next.create(names));
    next.discard();
    EXPECT_EQ(holdingAll(dir), step == "cleanup" ? kNewSub : kEarlierSub) << step << " " << name;
  }
  writeEarlierSub(dir);
  ASSERT_FALSE(writeNewSub(dir));
  EXPECT_EQ(holdingAll(dir), kNewSub);
  fs::remove(dir / "sub" / "notes.txt");
  OutputSet none(dir);
  ASSERT_FALSE(none.create());
  ASSERT_FALSE(none.write("a", "plain"));
  none.retireUnwritten("sub", figure);
  ASSERT_FALSE(none.commit());
  EXPECT_EQ(holdingAll(dir), (std::map<std::string, std::string>{{"a", "plain"}}));
}

TEST(TemporaryName, ReadsBackWhatItWrites) {
  const auto t = parseTemporaryName(fs::path(temporaryPath("dir/summary.h5.ranks", 3)).filename().string());
  ASSERT_TRUE(t);
  EXPECT_EQ(t->name, "summary.h5.ranks");
  EXPECT_EQ(t->host, platform::hostName());
  EXPECT_EQ(t->pid, platform::processId());
  for (const char* bad : {".part", ".x.part", ".x.h.part", "x.h.1.part", ".x.h.1.tmp", ".x.h.1a.part", "..1.part"}) {
    EXPECT_FALSE(parseTemporaryName(bad)) << bad;
  }
}

}  // namespace
}  // namespace kv::io
