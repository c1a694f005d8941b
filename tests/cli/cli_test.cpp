// quillmere-split as scripts see it, grouped by what a script relies on: the
// exit status, what goes to which stream, and paths taken exactly as given.
// The tool is started directly (no shell), in a scratch folder, with its
// standard streams in files or a pipe.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "child_process.h"
#include "sample_sources.h"
#include "scratch_folder.h"

namespace {

namespace fs = std::filesystem;
using quillmere::testing::ReadWholeFile;
using quillmere::testing::ScratchFolder;
using quillmere::testing::StartChild;
using quillmere::testing::WaitForChild;
using quillmere::testing::WriteWholeFile;

struct Result {
  int status = -1;
  std::string out, err;
};

// Standard input: nothing (/dev/null), a file opened by "the shell", or
// bytes through a pipe.
struct Input {
  std::optional<fs::path> file = {};
  std::optional<std::string> piped = {};
  // Standard output: a file in the scratch folder unless this names
  // another (such as /dev/full); "" closes it, as ">&-" does.
  std::optional<std::string> output = {};
};

class Cli : public testing::Test {
 protected:
  void SetUp() override { fs::create_directories(dir / "out"); }

  Result Run(std::vector<std::string> args, const Input& input = {}) {
    args.insert(args.begin(), QUILLMERE_SPLIT);
    const fs::path out = dir / "stdout.txt", err = dir / "stderr.txt";
    std::optional<fs::path> asIs;
    if (input.output) asIs = fs::path(*input.output);
    const pid_t child = StartChild({.args = args,
                                    .folder = dir,
                                    .input = input.file,
                                    .piped = input.piped,
                                    .out = out,
                                    .err = err,
                                    .outAsIs = asIs});
    EXPECT_GT(child, 0);
    Result result{WaitForChild(child), ReadWholeFile(out), ReadWholeFile(err)};
    fs::remove(out);
    fs::remove(err);
    return result;
  }

  std::string Source(const std::string& bytes, const std::string& name = "in.vcf") {
    WriteWholeFile(dir / name, bytes);
    return name;
  }

  std::vector<std::string> Outputs() {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir / "out")) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }

  ScratchFolder scratch{"cli"};
  const fs::path dir = scratch.Path();
};

const std::string kTwoCards = "BEGIN:VCARD\r\nN:a\r\nEND:VCARD\r\nBEGIN:VCARD\r\nN:b\r\nEND:VCARD\r\n";
const std::string kUnfinished = "BEGIN:VCARD\nN:a\nEND:VCARD\n\nBEGIN:VCARD\nN:lost\n";
const char kTry[] = "Try 'quillmere-split --help' for more information.\n";

// --- Exit statuses -----------------------------------------------------------

struct StatusCase {
  const char* fault;
  std::string source;
  std::vector<std::string> args;  // "SRC" stands for the source
  int status;
};

class ExitStatus : public Cli, public testing::WithParamInterface<StatusCase> {};

TEST_P(ExitStatus, TellsAScriptWhatHappened) {
  const auto& c = GetParam();
  auto args = c.args;
  for (auto& arg : args) {
    if (arg == "SRC") arg = Source(c.source);
  }
  const auto r = Run(args);
  EXPECT_EQ(r.status, c.status) << r.err;
}

INSTANTIATE_TEST_SUITE_P(
    Cli, ExitStatus,
    testing::Values(StatusCase{"EveryCardSavedIsZero", kTwoCards, {"SRC", "out"}, 0},
                    StatusCase{"UnfinishedLastCardIsThreeNotZero", kUnfinished, {"SRC", "out"}, 3},
                    StatusCase{"NoCardAtAllIsStillZero", "root:x:0:0\n", {"SRC", "out"}, 0},
                    StatusCase{"MissingSourceIsOne", "", {"missing.vcf", "out"}, 1},
                    StatusCase{"MissingFolderIsMadeNotAFailure", kTwoCards, {"SRC", "no/such/folder"}, 0},
                    StatusCase{"FolderThatIsAFileIsOneEvenWithoutCards", "", {"SRC", "SRC"}, 1},
                    StatusCase{"CheckOfWholeCardsIsZero", kTwoCards, {"--check", "SRC"}, 0},
                    StatusCase{"CheckOfAnUnfinishedCardIsThree", kUnfinished, {"--check", "SRC"}, 3},
                    StatusCase{"CheckOfAMissingSourceIsOne", "", {"--check", "missing.vcf"}, 1},
                    StatusCase{"BatchesOfWholeCardsAreZero", kTwoCards, {"--cards=1", "SRC", "out"}, 0},
                    StatusCase{"BatchUnfinishedIsThree", kUnfinished, {"--max-bytes=1K", "SRC", "out"}, 3},
                    StatusCase{"NamesWithBatchesIsTwo", kTwoCards, {"--names", "--cards=2", "SRC", "out"}, 2},
                    StatusCase{"ReportOfWholeCardsIsZero", kTwoCards, {"--report", "SRC"}, 0},
                    StatusCase{"ReportOfAnUnfinishedCardIsThree", kUnfinished, {"--report", "SRC"}, 3},
                    StatusCase{"ReportOfAMissingSourceIsOne", "", {"--report", "missing.vcf"}, 1},
                    StatusCase{"HelpIsZero", "", {"--help"}, 0},
                    StatusCase{"VersionIsZero", "", {"--version"}, 0}),
    [](const auto& param) { return std::string(param.param.fault); });

// --- Streams -----------------------------------------------------------------

TEST_F(Cli, SuccessPrintsOnlyTheFinalMessageOnStandardOutput) {
  const auto r = Run({Source(kTwoCards), "out"});
  EXPECT_EQ(r.out, "2 vCards Saved in\nout/\n");
  EXPECT_EQ(r.err, "") << "no progress when standard error is not a terminal";
  EXPECT_EQ(ReadWholeFile(dir / "out" / "vCard2.vcf"), "\r\nBEGIN:VCARD\r\nN:b\r\nEND:VCARD\r\n");
}

TEST_F(Cli, UnfinishedCardIsAWarningOnStandardErrorWithTheLineItBeginsOn) {
  const auto r = Run({Source(kUnfinished), "out"});
  EXPECT_EQ(r.out, "1 vCards Saved in\nout/\n") << "the message holds no warning";
  EXPECT_EQ(r.err,
            "quillmere-split: warning: the last card of 'in.vcf', from line 5, has no END:VCARD line and was "
            "not saved\n");
}

TEST_F(Cli, SourceWithoutAnyCardAsksWhetherItIsAVCardFile) {
  const auto r = Run({Source("root:x:0:0:root:/root:/bin/bash\n", "passwd"), "out"});
  EXPECT_EQ(r.out, "0 vCards Saved in\nout/\n");
  EXPECT_EQ(r.err, "quillmere-split: warning: 'passwd' has no BEGIN:VCARD line; is it a vCard file?\n");
}

TEST_F(Cli, EmptySourceIsNoCauseForAWarning) {
  const auto r = Run({Source(""), "out"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
}

TEST_F(Cli, FailureIsOneLineWithWhatFailedTheFileTheReasonAndTheCount) {
  const auto r = Run({"missing.vcf", "new/folder"});
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(
      r.err,
      "quillmere-split: cannot open 'missing.vcf': No such file or directory (0 vCards were saved before "
      "this failure)\n");
  EXPECT_FALSE(fs::exists(dir / "new")) << "a folder was made for a source that is not there";
}

TEST_F(Cli, FailureAfterSomeCardsCountsThemAndNamesTheOutput) {
  fs::create_directory(dir / "out" / "vCard2.vcf");  // a folder where the second card goes
  const auto r = Run({Source(kTwoCards), "out"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err,
            "quillmere-split: cannot create 'out/vCard2.vcf': Is a directory (1 vCard was saved before this "
            "failure)\n");
}

TEST_F(Cli, QuietLeavesStandardOutputEmptyButStillWarnsAndFails) {
  auto r = Run({"--quiet", Source(kUnfinished), "out"});
  EXPECT_EQ(r.status, 3);
  EXPECT_EQ(r.out, "");
  EXPECT_NE(r.err.find("warning: the last card"), std::string::npos);
  r = Run({"-q", "missing.vcf", "out"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("cannot open 'missing.vcf'"), std::string::npos);
}

TEST_F(Cli, WrongUsageSaysWhatIsWrongThenWhereToLook) {
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{}, "missing SOURCE and DEST_DIR operands"},
      {{"onlyone"}, "missing DEST_DIR operand after 'onlyone'"},
      {{"a", "b", "c"}, "extra operand 'c'"},
      {{"--bogus", "a", "b"}, "unrecognized option '--bogus'"},
      {{"-x", "a", "b"}, "invalid option -- 'x'"},
      {{"--quiet=yes", "a", "b"}, "option '--quiet' takes no value"},
      {{"a", ""}, "DEST_DIR is empty"},
      {{"--check", "a", "b"}, "extra operand 'b' (--check takes SOURCE only)"},
      {{"--report", "a", "b"}, "extra operand 'b' (--report takes SOURCE only)"},
      {{"a", "b", "--cards=2", "--names"},
       "--names cannot go with --cards or --max-bytes: files of several cards are numbered"},
      {{"--check", "--max-bytes=1M", "a"},
       "--cards and --max-bytes are for a split; --check and --report write nothing"},
      {{"--format=tsv", "a", "b"}, "--format is for --report"},
      {{"--cards=0", "a", "b"}, "invalid number of cards '0': give a whole number from 1"},
      {{"--cards=2x", "a", "b"}, "invalid number of cards '2x': give a whole number from 1"},
      {{"--max-bytes=1KB", "a", "b"}, "invalid size '1KB': give a whole number of bytes, or of K, M or G"},
      {{"--max-bytes=K", "a", "b"}, "invalid size 'K': give a whole number of bytes, or of K, M or G"},
      {{"--max-bytes=99999999999999999", "a", "b"},
       "invalid size '99999999999999999': give a whole number of bytes, or of K, M or G"},
      {{"--report", "--format=xml", "a"}, "invalid format 'xml': give text, tsv or json"},
  };
  for (const auto& [args, what] : cases) {
    const auto r = Run(args);
    EXPECT_EQ(r.status, 2) << what;
    EXPECT_EQ(r.out, "") << what;
    EXPECT_EQ(r.err, "quillmere-split: " + what + "\n" + kTry);
  }
}

// Several writers at once must give exactly the files one writer gives:
// same names, same bytes, same count in the message.
TEST_F(Cli, JobsWriteTheSameFilesAsOneWriter) {
  std::string cards;
  for (int n = 1; n <= 300; ++n)
    cards += "BEGIN:VCARD\r\nFN:Card " + std::to_string(n) + "\r\nNOTE:" + std::string(n % 40, 'x') +
             "\r\nEND:VCARD\r\n";
  const auto source = Source(cards);
  for (const std::string jobs : {"1", "4"}) {
    fs::create_directories(dir / jobs);
    const auto r = Run({"--jobs", jobs, source, jobs});
    EXPECT_EQ(r.status, 0) << "--jobs " << jobs << ": " << r.err;
    EXPECT_EQ(r.out, "300 vCards Saved in\n" + jobs + "/\n");
  }
  std::size_t files = 0;
  for (const auto& entry : fs::directory_iterator(dir / "4")) {
    ++files;
    EXPECT_EQ(ReadWholeFile(entry.path()), ReadWholeFile(dir / "1" / entry.path().filename()))
        << entry.path();
  }
  EXPECT_EQ(files, 300u);
}

TEST_F(Cli, JobsNeedsANumberFromOneTo64) {
  const auto source = Source("BEGIN:VCARD\r\nEND:VCARD\r\n");
  for (const char* jobs : {"--jobs=0", "--jobs=65", "--jobs=x", "--jobs=-1", "--jobs=3x", "-j"}) {
    const auto r = Run({jobs, source, "out"});
    EXPECT_EQ(r.status, 2) << jobs;
    EXPECT_FALSE(fs::exists(dir / "out" / "vCard1.vcf")) << jobs << " split anyway";
  }
}

// --- Batches and the card report ----------------------------------------------

TEST_F(Cli, BatchesCountCardsAndFilesAndWarnOfACardOverTheLimit) {
  const std::string big = "BEGIN:VCARD\r\nNOTE:" + std::string(2000, 'x') + "\r\nEND:VCARD\r\n";
  const auto r = Run({"--max-bytes=1k", Source(kTwoCards + big + kTwoCards), "out"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "5 vCards Saved in 3 files in\nout/\n");
  EXPECT_EQ(
      r.err,
      "quillmere-split: warning: card 3 is 2033 bytes, over --max-bytes; it goes alone into vCard2.vcf\n");
  EXPECT_EQ(Outputs(), (std::vector<std::string>{"vCard1.vcf", "vCard2.vcf", "vCard3.vcf"}));
  EXPECT_EQ(ReadWholeFile(dir / "out" / "vCard1.vcf"),
            "\r\nBEGIN:VCARD\r\nN:a\r\nEND:VCARD\r\n\r\nBEGIN:VCARD\r\nN:b\r\nEND:VCARD\r\n");
}

TEST_F(Cli, SizeSuffixesAreMultiplesOf1024) {
  std::string cards;
  for (int n = 0; n < 40; ++n)
    cards += "BEGIN:VCARD\r\nNOTE:" + std::string(90, static_cast<char>('a' + n % 26)) + "\r\nEND:VCARD\r\n";
  const auto source = Source(cards);
  for (const std::string size : {"2048", "2K", "2k"}) {
    fs::remove_all(dir / "out");
    fs::create_directories(dir / "out");
    const auto r = Run({"--max-bytes", size, source, "out"});
    EXPECT_EQ(r.out, "40 vCards Saved in 3 files in\nout/\n") << size;
  }
}

TEST_F(Cli, ReportWritesNothingAndGivesEachFormItsShape) {
  const auto source = Source(kTwoCards);
  const auto text = Run({"--report", source});
  EXPECT_EQ(text.out.substr(0, text.out.find('\n')),
            "   card     line version      bytes    picture  QP   8-bit  line ends");
  EXPECT_NE(text.out.find("\n      2        4 none            31          0  no   no     CRLF\n"),
            std::string::npos)
      << text.out;
  const auto tsv = Run({"-r", "--format", "tsv", source});
  EXPECT_EQ(tsv.out,
            "card\tline\tversion\tbytes\tpicture_bytes\tquoted_printable\tundeclared_8bit\tline_ends\n"
            "1\t1\tnone\t31\t0\tno\tno\tCRLF\n"
            "2\t4\tnone\t31\t0\tno\tno\tCRLF\n");
  const auto json = Run({"--report", "--format=json", source});
  EXPECT_EQ(json.out.rfind("{\"cards\": [\n  {\"card\": 1, \"line\": 1,", 0), 0u) << json.out;
  EXPECT_NE(json.out.find("\"file\": {\"form\": \"8-bit\", \"bytes\": 58"), std::string::npos) << json.out;
  EXPECT_TRUE(Outputs().empty());
}

TEST_F(Cli, HelpNamesEveryExitStatusAndVersionIsOneLine) {
  auto r = Run({"--help"});
  for (const char* status : {" 0 ", " 1 ", " 2 ", " 3 ", " 128+N "}) {
    EXPECT_NE(r.out.find(status), std::string::npos) << status;
  }
  r = Run({"--version"});
  EXPECT_EQ(r.out, "quillmere-split 2.06\n");
}

TEST_F(Cli, CheckReportsOnStandardOutputAndWritesNothing) {
  const auto before = Outputs();
  const auto r = Run({"--check", Source(kUnfinished)});
  EXPECT_EQ(r.out,
            "encoding: 8-bit\n"
            "line ends: CR LF 0, LF 6, CR 0, CR CR LF 0\n"
            "lines: 6\n"
            "cards: 1\n"
            "deepest nesting: 1\n"
            "stray END lines: 0\n"
            "unfinished last card: from line 5\n"
            "largest card: 1 (31 bytes)\n"
            "lines outside cards: 1\n");
  EXPECT_EQ(
      r.err,
      "quillmere-split: warning: the last card of 'in.vcf', from line 5, has no END:VCARD line and would "
      "not be saved\n");
  EXPECT_EQ(Outputs(), before);
  std::vector<std::string> here;
  for (const auto& entry : fs::directory_iterator(dir)) here.push_back(entry.path().filename());
  std::sort(here.begin(), here.end());
  EXPECT_EQ(here, (std::vector<std::string>{"in.vcf", "out"}));
}

// Each fact in the words the manual page gives for it.
TEST_F(Cli, CheckNamesEachFactAsDocumented) {
  std::string manyStrays;
  for (int i = 0; i < 7; ++i) manyStrays += "END:VCARD\n";
  const std::pair<std::string, std::vector<std::string>> cases[] = {
      {"", {"encoding: empty", "lines: 0", "cards: 0", "largest card: none", "unfinished last card: none"}},
      {"\xEF\xBB\xBF"
       "BEGIN:VCARD\r\r\nEND:VCARD\r\r\n",
       {"encoding: UTF-8 with mark", "line ends: CR LF 0, LF 0, CR 0, CR CR LF 2",
        "largest card: 1 (29 bytes)"}},
      {std::string("B\0E\0G\0I\0N\0:\0V\0C\0A\0R\0D\0\r\0", 24),
       {"encoding: UTF-16 LE without mark", "unfinished last card: from line 1", "cards: 0"}},
      {std::string("\xFE\xFF\0x\0\r", 6),
       {"encoding: UTF-16 BE with mark", "line ends: CR LF 0, LF 0, CR 1, CR CR LF 0"}},
      {manyStrays + "x\rBEGIN:VCARD\nBEGIN:VCARD\nEND:VCARD\nEND:VCARD\n",
       {"stray END lines: 7 (lines 1, 2, 3, 4, 5, ...)", "deepest nesting: 2", "lines outside cards: 8",
        "line ends: CR LF 0, LF 11, CR 1, CR CR LF 0"}},
  };
  for (const auto& [source, lines] : cases) {
    const auto r = Run({"--check", Source(source)});
    for (const auto& line : lines) {
      EXPECT_NE(r.out.find(line + "\n"), std::string::npos) << "no '" << line << "' in\n" << r.out;
    }
  }
}

// What --check promises is what a split then does: as many files, and the
// largest card is the size of its file.
TEST_F(Cli, CheckForetellsTheSplitOfEveryRealExport) {
  const auto corpus = quillmere::testing::CorpusFolder();
  if (!corpus) GTEST_SKIP() << "no corpus folder (../shared/corpus): real exports not checked";
  for (const auto& entry : fs::directory_iterator(*corpus)) {
    if (entry.path().extension() != ".vcf") continue;
    fs::remove_all(dir / "out");
    fs::create_directory(dir / "out");
    const auto check = Run({"--check", entry.path()});
    const auto split = Run({"--quiet", entry.path(), "out"});
    EXPECT_EQ(check.status, split.status) << entry.path();
    const auto value = [&](const std::string& key) {
      const auto at = check.out.find("\n" + key + ": ");
      return at == std::string::npos ? std::string() : check.out.substr(at + key.size() + 3).substr(0, 40);
    };
    EXPECT_EQ(std::stoull(value("cards")), Outputs().size()) << entry.path();
    const std::string largest = value("largest card");
    if (largest.starts_with("none")) continue;
    const auto number = std::stoull(largest);
    const auto bytes = std::stoull(largest.substr(largest.find('(') + 1));
    EXPECT_EQ(fs::file_size(dir / "out" / ("vCard" + std::to_string(number) + ".vcf")), bytes)
        << entry.path();
  }
}

// --- Paths -------------------------------------------------------------------

TEST_F(Cli, SourcePathKeepsItsSpaces) {
  Source(kTwoCards, "x.vcf");
  auto r = Run({" x.vcf", "out"});
  EXPECT_EQ(r.status, 1) << "' x.vcf' is another file than 'x.vcf'";
  EXPECT_NE(r.err.find("cannot open ' x.vcf'"), std::string::npos);
  Source("BEGIN:VCARD\nEND:VCARD\n", " x.vcf ");
  r = Run({" x.vcf ", "out"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(Outputs(), (std::vector<std::string>{"vCard1.vcf"}));
}

TEST_F(Cli, DoubleDashEndsTheOptions) {
  const auto r = Run({"--", Source(kTwoCards, "-x.vcf"), "out"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Outputs().size(), 2u);
}

TEST_F(Cli, OptionsMayFollowTheOperands) {
  const auto r = Run({Source(kTwoCards), "out", "-q"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "");
}

TEST_F(Cli, DashReadsStandardInputFromAPipe) {
  const auto r = Run({"-", "out"}, {.piped = kTwoCards});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(ReadWholeFile(dir / "out" / "vCard1.vcf"), "\r\nBEGIN:VCARD\r\nN:a\r\nEND:VCARD\r\n");
  EXPECT_FALSE(fs::exists(dir / "-"));
}

TEST_F(Cli, DashNamesStandardInputInWarnings) {
  const auto r = Run({"-", "out"}, {.file = dir / Source(kUnfinished)});
  EXPECT_EQ(r.status, 3);
  EXPECT_NE(r.err.find("the last card of standard input, from line 5"), std::string::npos) << r.err;
}

TEST_F(Cli, FileCalledDashIsReachedAsDotSlashDash) {
  Source(kTwoCards, "-");
  const auto r = Run({"./-", "out"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(Outputs().size(), 2u);
}

TEST_F(Cli, StandardInputThatIsAnOutputFileIsNeverOverwritten) {
  const std::string earlier = "\r\nBEGIN:VCARD\r\nN:earlier\r\nEND:VCARD\r\n";
  WriteWholeFile(dir / "out" / "vCard2.vcf", earlier + earlier);
  const auto r = Run({"-", "out"}, {.file = dir / "out" / "vCard2.vcf"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("cannot create 'out/vCard2.vcf': That file is the source being split"),
            std::string::npos)
      << r.err;
  EXPECT_EQ(ReadWholeFile(dir / "out" / "vCard2.vcf"), earlier + earlier);
}

TEST_F(Cli, NamesThatAShellCannotShowPlainlyAreQuotedToBeReadBack) {
  const std::pair<std::string, std::string> cases[] = {
      {"it's", "\"it's\""},
      {"a\nb", "'a'$'\\n''b'"},
      {"$'x", "'$'\\''x'"},
      // Valid UTF-8 is text; an invalid byte and a C1 control (a terminal's
      // escape) are shown by their true octal bytes.
      {"Kontakte_M\xc3\xbcller.vcf", "'Kontakte_M\xc3\xbcller.vcf'"},
      {"caf\xe9.vcf", "'caf'$'\\351''.vcf'"},
      {"a\xc2\x9b"
       "b",
       "'a'$'\\302\\233''b'"},
      {"over\xc0\xaflong", "'over'$'\\300'$'\\257''long'"},
      {"\xed\xa0\x80surrogate", "$'\\355'$'\\240'$'\\200''surrogate'"},
  };
  for (const auto& [name, shown] : cases) {
    const auto r = Run({name, "out"});
    EXPECT_NE(r.err.find("cannot open " + shown + ":"), std::string::npos) << r.err;
  }
}

// --- Standard output that cannot take the message ----------------------------

struct OutputCase {
  const char* fault;
  std::vector<std::string> args;  // "SRC" stands for the source
  std::string output;             // "" : closed
  std::string reason;
};

class BrokenOutput : public Cli, public testing::WithParamInterface<OutputCase> {};

// A script reading the message must learn that it never arrived; the cards
// are whole all the same.
TEST_P(BrokenOutput, FailsWithOneWriteErrorLineAfterTheCardsAreWhole) {
  const auto& c = GetParam();
  auto args = c.args;
  for (auto& arg : args) {
    if (arg == "SRC") arg = Source(kTwoCards);
  }
  const auto r = Run(args, {.output = c.output});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "quillmere-split: write error: " + c.reason + "\n");
  if (c.args.back() == "out") {
    EXPECT_EQ(Outputs(), (std::vector<std::string>{"vCard1.vcf", "vCard2.vcf"}));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cli, BrokenOutput,
    testing::Values(
        OutputCase{"CheckIntoAFullDevice", {"--check", "SRC"}, "/dev/full", "No space left on device"},
        OutputCase{"HelpIntoAFullDevice", {"--help"}, "/dev/full", "No space left on device"},
        OutputCase{"ClosingMessageIntoAFullDevice", {"SRC", "out"}, "/dev/full", "No space left on device"},
        OutputCase{"ClosedStandardOutput", {"SRC", "out"}, "", "Bad file descriptor"},
        // A short report is flushed before its warnings, not at the close.
        OutputCase{"ShortReportIntoAFullDevice", {"--report", "SRC"}, "/dev/full", "No space left on device"},
        OutputCase{
            "ShortReportIntoAClosedOutput", {"--report", "--format=json", "SRC"}, "", "Bad file descriptor"}),
    [](const auto& param) { return std::string(param.param.fault); });

TEST_F(Cli, ReaderThatLeavesEarlyEndsTheListQuietlyAsCatDoes) {
  std::string cards;
  for (int n = 0; n < 20000; ++n)
    cards += "BEGIN:VCARD\r\nFN:Person " + std::to_string(n) + "\r\nEND:VCARD\r\n";
  const std::string source = (dir / Source(cards)).string();
  const std::string command =
      "'" QUILLMERE_SPLIT "' --check --names '" + source + "' 2>'" + (dir / "err").string() + "' | head -1";
  FILE* pipe = ::popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::string shown(256, '\0');
  shown.resize(std::fread(shown.data(), 1, shown.size(), pipe));
  ::pclose(pipe);
  EXPECT_EQ(shown, "1\tPerson 0.vcf\n");
  EXPECT_EQ(ReadWholeFile(dir / "err"), "") << "a closed pipe is no error to speak of";
}

// --- --check reads, never maps ----------------------------------------------

// Holes read as zeros and are not filled in: a "read-only" check once
// filled a 512 MiB sparse file on tmpfs, and the disk with it.
TEST_F(Cli, CheckOfASparseFileLeavesItsHolesUnfilled) {
  const fs::path sparse = dir / "sparse.vcf";
  WriteWholeFile(sparse, kTwoCards);
  fs::resize_file(sparse, std::uintmax_t{64} << 20);
  struct stat before {};
  ASSERT_EQ(::stat(sparse.c_str(), &before), 0);
  const auto r = Run({"--check", "sparse.vcf"});
  EXPECT_EQ(r.status, 0) << r.err;
  struct stat after {};
  ASSERT_EQ(::stat(sparse.c_str(), &after), 0);
  EXPECT_EQ(after.st_blocks, before.st_blocks) << "the check allocated the file's holes";
}

// Emptied while it is read, a mapped file killed the check with SIGBUS. It
// must end as a program does, whenever the file is cut.
TEST_F(Cli, CheckOfAFileEmptiedWhileItIsReadEndsWithoutASignal) {
  std::string cards;
  for (int n = 0; n < 400000; ++n)
    cards += "BEGIN:VCARD\r\nFN:Person " + std::to_string(n) + "\r\nEND:VCARD\r\n";
  const std::string source = Source(cards);
  for (const int delayMs : {0, 2, 5, 10}) {
    WriteWholeFile(dir / source, cards);
    const pid_t pid = StartChild({.args = {QUILLMERE_SPLIT, "--check", (dir / source).string()},
                                  .out = "/dev/null",
                                  .err = dir / "err"});
    ASSERT_GT(pid, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
    fs::resize_file(dir / source, 0);
    int raw = 0;
    ::waitpid(pid, &raw, 0);
    ASSERT_TRUE(WIFEXITED(raw)) << "died of signal " << WTERMSIG(raw) << " with the file emptied after "
                                << delayMs << " ms";
    const std::string err = ReadWholeFile(dir / "err");
    EXPECT_TRUE(err.empty() || err.find("changed size while it was read") != std::string::npos) << err;
  }
}

// Standard output or error that is a file the run would write is kept as
// the source is: the run stops before that card.
TEST_F(Cli, StandardStreamInsideTheDestinationIsNeverWrittenOver) {
  const auto source = Source(kTwoCards);
  WriteWholeFile(dir / "out" / "vCard1.vcf", "");
  const auto r = Run({source, "out"}, {.output = (dir / "out" / "vCard1.vcf").string()});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("cannot create 'out/vCard1.vcf': That file is where this run's own messages go"),
            std::string::npos)
      << r.err;
  EXPECT_EQ(ReadWholeFile(dir / "out" / "vCard1.vcf"), "") << "a card or the message went into it";
  EXPECT_EQ(Outputs(), std::vector<std::string>{"vCard1.vcf"});
}

// A large file is read in parts on several threads; standard input goes
// through the splitter's own scanner. The two must report the same, with a
// mark, a card over every cut and a card too large for any part.
TEST_F(Cli, CheckOfALargeFileReadInPartsAgreesWithTheScanner) {
  std::string cards = "\xEF\xBB\xBF";
  for (int n = 0; n < 120000; ++n) cards += "BEGIN:VCARD\r\nFN:Person " + std::to_string(n) + "\rEND:VCARD\n";
  // A folded photo of 9 MiB: the cut between the parts falls inside it.
  cards += "BEGIN:VCARD\r\nPHOTO:";
  for (int line = 0; line < 120000; ++line) cards += " " + std::string(76, 'p') + "\r\n";
  cards += "  END:VCARD\r\nEND:VCARD\r\n";
  for (int n = 0; n < 120000; ++n)
    cards += " BEGIN:VCARD \r\r\nFN:Other " + std::to_string(n) + "\r\nEND:VCARD\r\n";
  const auto source = Source(cards);
  const auto parts = Run({"--check", source});
  const auto scanned = Run({"--check", "-"}, {.file = dir / source});
  EXPECT_EQ(parts.status, scanned.status);
  EXPECT_EQ(parts.out, scanned.out);
  EXPECT_NE(parts.out.find("cards: 240001"), std::string::npos) << parts.out;
}

// --- Destination ---------------------------------------------------------------

TEST_F(Cli, DestinationThatIsAFileFailsBeforeTheSourceIsRead) {
  Source("not a folder", "file");
  const auto r = Run({"missing.vcf", "file"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "quillmere-split: cannot write into 'file': Not a directory\n");
}

TEST_F(Cli, MissingDestinationIsMadeWithItsParentsAsMkdirP) {
  const auto r = Run({Source(kTwoCards), "a/b/c"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(ReadWholeFile(dir / "a" / "b" / "c" / "vCard2.vcf"), "\r\nBEGIN:VCARD\r\nN:b\r\nEND:VCARD\r\n");
  Source("", "plain");
  const auto under = Run({Source(kTwoCards), "plain/sub"});
  EXPECT_EQ(under.status, 1);
  EXPECT_EQ(under.err, "quillmere-split: cannot create the folder 'plain/sub': Not a directory\n");
}

// --- Files named after their contacts ---------------------------------------

const std::string kNamedCards =
    "BEGIN:VCARD\r\nFN:Jane Doe\r\nEND:VCARD\r\nBEGIN:VCARD\r\nNOTE:x\r\nEND:VCARD\r\n"
    "BEGIN:VCARD\r\nN:Doe;Jane\r\nEND:VCARD\r\n";

// One writer or several, the names are given in source order: the second
// Jane Doe is "(2)" whichever file lands first.
TEST_F(Cli, NamesOptionNamesEachFileAfterItsContactWithTheSameMessageAndStatus) {
  const auto source = Source(kNamedCards);
  for (const std::string jobs : {"1", "2"}) {
    fs::create_directories(dir / jobs);
    const auto r = Run({"--names", "--jobs", jobs, source, jobs});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "3 vCards Saved in\n" + jobs + "/\n");
    EXPECT_EQ(ReadWholeFile(dir / jobs / "Jane Doe.vcf"), "\r\nBEGIN:VCARD\r\nFN:Jane Doe\r\nEND:VCARD\r\n");
    EXPECT_EQ(ReadWholeFile(dir / jobs / "vCard2.vcf"), "\r\nBEGIN:VCARD\r\nNOTE:x\r\nEND:VCARD\r\n");
    EXPECT_EQ(ReadWholeFile(dir / jobs / "Jane Doe (2).vcf"),
              "\r\nBEGIN:VCARD\r\nN:Doe;Jane\r\nEND:VCARD\r\n");
    EXPECT_FALSE(fs::exists(dir / jobs / "vCard1.vcf"));
  }
  EXPECT_EQ(Run({"--names", "missing.vcf", "out"}).status, 1);
}

TEST_F(Cli, CheckWithNamesListsEachCardsFileAndWritesNothing) {
  const auto r = Run({"--check", "--names", Source(kNamedCards + "BEGIN:VCARD\r\nFN:Lost\r\n")});
  EXPECT_EQ(r.status, 3) << "an unfinished last card is still status 3";
  EXPECT_EQ(r.out, "1\tJane Doe.vcf\n2\tvCard2.vcf\n3\tJane Doe (2).vcf\n");
  EXPECT_NE(r.err.find("has no END:VCARD line"), std::string::npos) << r.err;
  EXPECT_TRUE(Outputs().empty()) << "a check wrote files";
}

}  // namespace
