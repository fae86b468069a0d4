// Whole runs on small cases: the input reader, the listing head and the launch sequence, and
// every way bad input ends the run.
#include <gtest/gtest.h>
#include <gmock/gmock.h>

#include <functional>
#include <regex>
#include <string>
#include <vector>

#include "harness.h"

namespace kv::e2e {
namespace {

using ::testing::ElementsAre;

// Latin-1 bytes of a UTF-8 literal (the listing's texts are written in Latin-1).
std::string latin1(const std::string& utf8) {
  std::string out;
  for (size_t i = 0; i < utf8.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(utf8[i]);
    if (c == 0xC3 && i + 1 < utf8.size()) {
      out.push_back(static_cast<char>(static_cast<unsigned char>(utf8[++i]) + 0x40));
    } else {
      out.push_back(static_cast<char>(c));
    }
  }
  return out;
}

std::string blanks(size_t n) { return std::string(n, ' '); }

// The records of the standard main data file, each with an explanation after its value.
std::vector<std::string> standardRecords() {
  return {"2            variable number",
          "listing.txt  listing file",
          "1            with exact solution",
          "exact.dat    exact-solution file",
          "2            pL",
          "2            deltaP",
          "3.0          Fs",
          "1            refinement type",
          "100          maximum number of iterations",
          "1.0e-6       tolerance",
          "0.1          pUMin",
          "10           pUMax",
          "3            number of grids",
          "g1.dat       coarsest grid",
          "g2.dat",
          "'  g3.dat'   finest grid, name with leading blanks",
          "'Test case 1'"};
}

void writeStandardCase(const CaseFolder& f) {
  writeMainData(f, "main.dat", standardRecords());
  f.write("exact.dat", "1 1.0\n2 1.3333333333333333\n3 9.0\n");
  f.write("g1.dat", "0.5\n1 0.0\n2 1.0\n3 7.0\n");
  f.write("g2.dat", "0.25\n1 0.0\n2 1.25\n3 7.0\n");
  f.write("g3.dat", "0.125\n1 0.0\n2 1.3125\n3 7.0\n");
}

// The head and echo of the standard case; the date line is checked apart.
std::vector<std::string> standardHead() {
  return {"",
          latin1("   título = Test case 1"),
          "",
          "<date line>",
          "",
          "   2" + blanks(19) + latin1(" = número da variável, nos arquivos de resultados, a analisar"),
          "",
          "nome do arquivo de dados principal = main.dat" + blanks(42),
          "   1" + blanks(19) + latin1(" = com solução analítica?   1 = sim;   0 = não"),
          latin1("nome do arquivo da solução analítica exata = exact.dat"),
          latin1("   1.33333333333333E+00 = solução analítica exata"),
          "",
          "   2" + blanks(19) + latin1(" = ordem assintótica do erro verdadeiro"),
          "   2" + blanks(19) + latin1(" = variação entre as ordens verdadeiras do erro verdadeiro"),
          "",
          "   3" + blanks(19) + latin1(" = número de malhas"),
          "",
          "   1" + blanks(19) + latin1(" = tipo de refino de malha (r): 1=constante; 2=variável"),
          " 100" + blanks(19) + latin1(" = número máximo de iterações para obter pU com r variável"),
          latin1("   1.00000000000000E-06 = tolerância na obtenção de pU com r variável"),
          latin1("   1.00000000000000E-01 = limite inferior de pU (r variável)"),
          latin1("   1.00000000000000E+01 = limite superior de pU (r variável)"),
          "",
          "   h" + blanks(22) + "log10(h)" + blanks(5) + "r21" + blanks(10) +
              latin1("arquivos com resultados numéricos:")};
}

const std::regex kDateLine(
    "   Dia = \\(\\d{1,2}/\\d{1,2}/\\d{4}\\) *     Hora = \\d{1,2}:\\d{1,2}:\\d{1,2} *");

// Checks that the listing starts with `expected` (the date line by its shape) and returns
// the lines after it.
std::vector<std::string> expectListingStartsWith(const std::string& listing,
                                                 const std::vector<std::string>& expected) {
  std::vector<std::string> lines = crlfLines(listing);
  EXPECT_GE(lines.size(), expected.size());
  for (size_t i = 0; i < expected.size() && i < lines.size(); ++i) {
    if (expected[i] == "<date line>") {
      EXPECT_TRUE(std::regex_match(lines[i], kDateLine)) << lines[i];
      EXPECT_EQ(lines[i].size(), 41u) << lines[i];
    } else {
      EXPECT_EQ(lines[i], expected[i]) << "line " << i + 1;
    }
  }
  return std::vector<std::string>(lines.begin() + std::min(lines.size(), expected.size()),
                                  lines.end());
}

TEST(Head, ListingHeadEchoAndGridTableByteForByte) {
  CaseFolder f;
  writeStandardCase(f);
  RunResult r = f.run();
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out, "");
  std::vector<std::string> head = standardHead();
  head.push_back("   5.00000000000000E-01  -3.0103E-01" + blanks(16) + "g1.dat");
  head.push_back("   2.50000000000000E-01  -6.0206E-01   2.0000E+00   g2.dat");
  head.push_back("   1.25000000000000E-01  -9.0309E-01   2.0000E+00   g3.dat");
  expectListingStartsWith(f.read("listing.txt"), head);
}

TEST(Head, LaunchSequenceStartsWithTheEditorOnBothInputFilesAndEndsOnTheListing) {
  CaseFolder f;
  writeStandardCase(f);
  RunResult r = f.run();
  ASSERT_EQ(r.status, 0) << r.err;
  ASSERT_GE(r.launches.size(), 3u);
  EXPECT_EQ(r.launches[0], "notepad Kestrovanilque.in");
  EXPECT_EQ(r.launches[1], "notepad main.dat");
  EXPECT_EQ(r.launches.back(), "notepad listing.txt");
}

TEST(Head, BareValuesReadLikeValuesWithExplanationsAndLfLikeCrLf) {
  CaseFolder commented, bare, crlf;
  writeStandardCase(commented);
  writeStandardCase(bare);
  writeStandardCase(crlf);
  std::vector<std::string> records = standardRecords();
  for (std::string& record : records) {
    if (record[0] != '\'') record = record.substr(0, record.find(' '));
  }
  writeMainData(bare, "main.dat", records);
  std::string withCrLf;
  for (const std::string& record : standardRecords()) withCrLf += record + "\r\n";
  crlf.write("main.dat", withCrLf);
  crlf.write("Kestrovanilque.in", "main.dat\r\n");
  crlf.write("g2.dat", "0.25\r\n1 0.0\r\n2 1.25\r\n");
  for (const CaseFolder* f : {&commented, &bare, &crlf}) ASSERT_EQ(f->run().status, 0);
  auto withoutDate = [](const std::string& listing) {
    std::vector<std::string> lines = crlfLines(listing);
    lines.at(3) = "";
    return lines;
  };
  EXPECT_EQ(withoutDate(bare.read("listing.txt")), withoutDate(commented.read("listing.txt")));
  EXPECT_EQ(withoutDate(crlf.read("listing.txt")), withoutDate(commented.read("listing.txt")));
}

TEST(Head, NoGridsTakesTheNextRecordAsTheTitle) {
  CaseFolder f;
  writeMainData(f, "main.dat",
                {"1", "out.txt", "0", "none.dat", "2", "2", "3.0", "1", "100", "1e-6", "0.1", "10",
                 "0", "'No grids at all'"});
  RunResult r = f.run();
  ASSERT_EQ(r.status, 0) << r.err;
  std::vector<std::string> lines = crlfLines(f.read("out.txt"));
  EXPECT_EQ(lines[1], latin1("   título = No grids at all"));
  // The grid table is its empty record and header only (the tables follow it).
  EXPECT_EQ(lines[22], "");
  EXPECT_EQ(lines[23].substr(0, 4), "   h");
  EXPECT_FALSE(f.exists("none.dat"));  // no exact solution: its file is never opened
}

TEST(Head, OneGridHasNoRatioAndATitleWithoutApostrophesIsItsFirstWord) {
  CaseFolder f;
  writeMainData(f, "main.dat",
                {"1", "out.txt", "2", "exact.dat", "2", "2", "3.0", "1", "100", "1e-6", "0.1", "10",
                 "1", "only.dat", "Test case 1"});
  f.write("only.dat", "0.5 spacing\n7 3.25 value\n");
  RunResult r = f.run();
  ASSERT_EQ(r.status, 0) << r.err;
  std::vector<std::string> lines = crlfLines(f.read("out.txt"));
  EXPECT_EQ(lines[1], latin1("   título = Test"));
  EXPECT_EQ(lines[24], "   5.00000000000000E-01  -3.0103E-01" + blanks(16) + "only.dat");
  // hasExactSolution = 2 reads no exact value: it is echoed as zero and its file is not opened.
  EXPECT_EQ(lines[10], latin1("   0.00000000000000E+00 = solução analítica exata"));
  EXPECT_FALSE(f.exists("exact.dat"));
}

TEST(Head, LongTitleKeepsNinetyCharacters) {
  CaseFolder f;
  writeStandardCase(f);
  std::vector<std::string> records = standardRecords();
  records.back() = "'" + std::string(95, 'T') + "'";
  writeMainData(f, "main.dat", records);
  ASSERT_EQ(f.run().status, 0);
  EXPECT_EQ(crlfLines(f.read("listing.txt"))[1], latin1("   título = ") + std::string(90, 'T'));
}

TEST(Head, NegativeGridCountIsNoGrids) {
  CaseFolder f;
  writeMainData(f, "main.dat",
                {"1", "out.txt", "0", "x", "2", "2", "3.0", "1", "100", "1e-6", "0.1", "10", "-3",
                 "'Negative'"});
  RunResult r = f.run();
  ASSERT_EQ(r.status, 0) << r.err;
  std::vector<std::string> lines = crlfLines(f.read("out.txt"));
  EXPECT_EQ(lines[15], "  -3" + blanks(19) + latin1(" = número de malhas"));
}

// Bad input: one fatal line, its exit status, and no listing when the run fails before the
// listing is opened.
struct BadInput {
  const char* name;
  std::function<void(const CaseFolder&)> spoil;
  int status;
  std::string message;
};

std::vector<std::string> withRecord(size_t index, const std::string& value) {
  std::vector<std::string> records = standardRecords();
  records.at(index) = value;
  return records;
}

std::vector<BadInput> badInputs() {
  std::vector<BadInput> cases = {
      {"MissingStartFile", [](const CaseFolder& f) { std::filesystem::remove(f.path() / "Kestrovanilque.in"); },
       24, "end-of-file during read, unit 7, file Kestrovanilque.in"},
      {"MissingMainDataFile", [](const CaseFolder& f) { std::filesystem::remove(f.path() / "main.dat"); },
       24, "end-of-file during read, unit 7, file main.dat"},
      {"MissingGridFile", [](const CaseFolder& f) { std::filesystem::remove(f.path() / "g2.dat"); },
       24, "end-of-file during read, unit 7, file g2.dat"},
      {"MissingExactFile", [](const CaseFolder& f) { std::filesystem::remove(f.path() / "exact.dat"); },
       24, "end-of-file during read, unit 7, file exact.dat"},
      {"LetterForAnInteger",
       [](const CaseFolder& f) { writeMainData(f, "main.dat", withRecord(4, "two")); }, 59,
       "list-directed I/O syntax error, unit 7, file main.dat"},
      {"RealForGridCount",
       [](const CaseFolder& f) { writeMainData(f, "main.dat", withRecord(12, "2.5")); }, 64,
       "input conversion error, unit 7, file main.dat"},
      {"LetterForAReal",
       [](const CaseFolder& f) { writeMainData(f, "main.dat", withRecord(9, "tol")); }, 59,
       "list-directed I/O syntax error, unit 7, file main.dat"},
      {"EnormousGridCount",
       [](const CaseFolder& f) { writeMainData(f, "main.dat", withRecord(12, "2147483647")); },
       41, "insufficient virtual memory"},
      {"GridCountBeyondIntegers",
       [](const CaseFolder& f) { writeMainData(f, "main.dat", withRecord(12, "2147483648")); },
       64, "input conversion error, unit 7, file main.dat"},
      {"EmptyGridFile", [](const CaseFolder& f) { f.write("g3.dat", ""); }, 24,
       "end-of-file during read, unit 7, file g3.dat"},
      {"GridFileWithTooFewValues", [](const CaseFolder& f) { f.write("g1.dat", "0.5\n1 0.0\n"); },
       24, "end-of-file during read, unit 7, file g1.dat"},
      {"ExactFileWithTooFewValues", [](const CaseFolder& f) { f.write("exact.dat", "1 1.0\n"); },
       24, "end-of-file during read, unit 7, file exact.dat"},
      {"ListingIsADirectory",
       [](const CaseFolder& f) { std::filesystem::create_directory(f.path() / "listing.txt"); },
       30, "open failure, unit 10, file listing.txt"},
      {"ListingInAMissingFolder",
       [](const CaseFolder& f) { writeMainData(f, "main.dat", withRecord(1, "'nowhere/out.txt'")); },
       30, "open failure, unit 10, file nowhere/out.txt"},
      {"BlankListingName",
       [](const CaseFolder& f) { writeMainData(f, "main.dat", withRecord(1, "' '")); }, 30,
       "open failure, unit 10, file "},
      {"ListingNamedAsTheMainDataFile",
       [](const CaseFolder& f) { writeMainData(f, "main.dat", withRecord(1, "main.dat")); }, 30,
       "open failure, unit 10, file main.dat"},
      {"ListingNamedAsTheStartFile",
       [](const CaseFolder& f) { writeMainData(f, "main.dat", withRecord(1, "'./Kestrovanilque.in'")); },
       30, "open failure, unit 10, file ./Kestrovanilque.in"},
      {"ListingNamedAsAGridFile",
       [](const CaseFolder& f) { writeMainData(f, "main.dat", withRecord(1, "g3.dat")); }, 30,
       "open failure, unit 10, file g3.dat"},
      {"ListingNamedAsTheExactFile",
       [](const CaseFolder& f) { writeMainData(f, "main.dat", withRecord(1, "exact.dat")); }, 30,
       "open failure, unit 10, file exact.dat"},
      {"ListingNamedAsAResultFile",
       [](const CaseFolder& f) { writeMainData(f, "main.dat", withRecord(1, "pL.dat")); }, 30,
       "open failure, unit 10, file pL.dat"},
      {"ListingNamedAsAPlotScript",
       [](const CaseFolder& f) {
         writeMainData(f, "main.dat", withRecord(1, "Kestrovanilque_pU.gnu"));
       },
       30, "open failure, unit 10, file Kestrovanilque_pU.gnu"},
  };
  // The main data file cut short at each of its records.
  static const char* kCutNames[] = {"Cut0",  "Cut1",  "Cut2",  "Cut3",  "Cut4",  "Cut5",
                                    "Cut6",  "Cut7",  "Cut8",  "Cut9",  "Cut10", "Cut11",
                                    "Cut12", "Cut13", "Cut14", "Cut15", "Cut16"};
  for (size_t kept = 0; kept < standardRecords().size(); ++kept) {
    cases.push_back({kCutNames[kept],
                     [kept](const CaseFolder& f) {
                       std::vector<std::string> records = standardRecords();
                       records.resize(kept);
                       writeMainData(f, "main.dat", records);
                     },
                     24, "end-of-file during read, unit 7, file main.dat"});
  }
  return cases;
}

class BadInputTest : public ::testing::TestWithParam<BadInput> {};

TEST_P(BadInputTest, EndsWithOneFatalLineAndNoListing) {
  CaseFolder f;
  writeStandardCase(f);
  GetParam().spoil(f);
  std::map<std::string, std::string> before = f.files();
  RunResult r = f.run();
  EXPECT_EQ(r.status, GetParam().status);
  EXPECT_EQ(r.err, "kestrovanilque: severe (" + std::to_string(GetParam().status) +
                       "): " + GetParam().message + "\n");
  EXPECT_EQ(r.out, "");
  EXPECT_FALSE(std::filesystem::is_regular_file(f.path() / "listing.txt"));
  // Nothing the user wrote was changed; a missing input file was created empty.
  std::map<std::string, std::string> after = f.files();
  for (const auto& [name, bytes] : before) EXPECT_EQ(after[name], bytes) << name;
  for (const auto& [name, bytes] : after) {
    if (!before.count(name)) {
      EXPECT_EQ(bytes, "") << name;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, BadInputTest, ::testing::ValuesIn(badInputs()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Arguments, HelpAndVersionStartNoRun) {
  CaseFolder f;
  RunResult help = f.run({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("Usage: kestrovanilque"), std::string::npos);
  RunResult version = f.run({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, "kestrovanilque 1.0.0\n");
  EXPECT_TRUE(help.launches.empty());
  EXPECT_FALSE(f.exists("Kestrovanilque.in"));
}

// Whatever is given, the program says what it takes; only no argument at all starts the classic
// run, and nothing else creates a file or launches anything.
TEST(Arguments, EveryCommandLineIsAnsweredWithHelp) {
  CaseFolder f(false);
  const RunResult help = f.run({"-h"});
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.out, f.run({"--help"}).out);
  EXPECT_NE(help.out.find("\n  merge SLAB_DIR... --out DIR "), std::string::npos);
  const RunResult unknown = f.run({"stdy", "x.csv"});
  EXPECT_EQ(unknown.status, 2);
  EXPECT_EQ(unknown.err, "kestrovanilque: error: unknown command 'stdy': did you mean 'study'?\n" + help.out);
  const RunResult merge = f.run({"merge", "--help"});
  EXPECT_EQ(merge.status, 0);
  EXPECT_NE(merge.out.find("--out TEXT REQUIRED"), std::string::npos);
  EXPECT_TRUE(help.launches.empty() && unknown.launches.empty());
  EXPECT_TRUE(f.files().empty());
}

}  // namespace
}  // namespace kv::e2e
