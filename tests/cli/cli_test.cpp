// quillmere-split as scripts see it: exit status, standard output, standard
// error.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

namespace fs = std::filesystem;

struct Result {
  int status;
  std::string out, err;
};

std::string Slurp(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class Cli : public testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() / ("quillmere-cli-" + std::to_string(::getpid()) + "-" +
                                       testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir);
    fs::create_directories(dir / "out");
  }
  void TearDown() override { fs::remove_all(dir); }

  // Runs the tool with standard error not a terminal, as in a pipeline.
  Result Run(const std::string& args) {
    const std::string cmd = std::string(QUILLMERE_SPLIT) + " " + args + " >" + (dir / "stdout").string() +
                            " 2>" + (dir / "stderr").string();
    const int raw = std::system(cmd.c_str());
    return {WEXITSTATUS(raw), Slurp(dir / "stdout"), Slurp(dir / "stderr")};
  }

  fs::path Source(const std::string& bytes) {
    std::ofstream(dir / "in.vcf", std::ios::binary) << bytes;
    return dir / "in.vcf";
  }

  fs::path dir;
};

TEST_F(Cli, SuccessPrintsTheFinalMessageWithALineBreakAndExitsZero) {
  const auto r = Run(Source("BEGIN:VCARD\r\nEND:VCARD\r\nBEGIN:VCARD\r\nEND:VCARD\r\n").string() + " " +
                     (dir / "out").string());
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "2 vCards Saved in \n" + (dir / "out").string() + "/\n");
  EXPECT_EQ(r.err, "") << "no progress when standard error is not a terminal";
  EXPECT_EQ(Slurp(dir / "out" / "vCard2.vcf"), "\r\nBEGIN:VCARD\r\nEND:VCARD\r\n");
}

TEST_F(Cli, UnfinishedLastCardNoteFollowsTheMessage) {
  const auto r = Run(Source("BEGIN:VCARD\nN:A\n").string() + " " + (dir / "out").string() + "/");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "0 vCards Saved in \n" + (dir / "out").string() +
                       "/\n\nThe last card has no END:VCARD line and was not saved.\n");
}

TEST_F(Cli, FailureIsOneLineNamingTheFileAndReasonWithExitOne) {
  const auto r = Run((dir / "missing.vcf").string() + " " + (dir / "out").string());
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "quillmere-split: Could not open the vCard file \"" + (dir / "missing.vcf").string() +
                       "\": No such file or directory. 0 vCards were saved before this failure.\n");
}

TEST_F(Cli, WrongUsageShowsUsageWithExitTwo) {
  for (const std::string args : {"", "only-one", "a b c", "--bogus a b"}) {
    const auto r = Run(args);
    EXPECT_EQ(r.status, 2) << args;
    EXPECT_NE(r.err.find("Usage: quillmere-split SOURCE DEST_DIR"), std::string::npos) << args;
  }
}

TEST_F(Cli, HelpAndVersionExitZero) {
  auto r = Run("--help");
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("Usage: quillmere-split SOURCE DEST_DIR"), std::string::npos);
  r = Run("--version");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "quillmere-split 2.06\n");
}

TEST_F(Cli, NamesOptionNamesEachFileAfterItsContactWithTheSameMessageAndStatus) {
  const std::string source =
      "BEGIN:VCARD\r\nFN:Jane Doe\r\nEND:VCARD\r\nBEGIN:VCARD\r\nNOTE:x\r\nEND:VCARD\r\n"
      "BEGIN:VCARD\r\nN:Doe;Jane\r\nEND:VCARD\r\n";
  const auto r = Run("--names " + Source(source).string() + " " + (dir / "out").string());
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "3 vCards Saved in \n" + (dir / "out").string() + "/\n");
  EXPECT_EQ(Slurp(dir / "out" / "Jane Doe.vcf"), "\r\nBEGIN:VCARD\r\nFN:Jane Doe\r\nEND:VCARD\r\n");
  EXPECT_EQ(Slurp(dir / "out" / "vCard2.vcf"), "\r\nBEGIN:VCARD\r\nNOTE:x\r\nEND:VCARD\r\n");
  EXPECT_EQ(Slurp(dir / "out" / "Jane Doe (2).vcf"), "\r\nBEGIN:VCARD\r\nN:Doe;Jane\r\nEND:VCARD\r\n");
  EXPECT_FALSE(fs::exists(dir / "out" / "vCard1.vcf"));
  EXPECT_EQ(Run("--names " + (dir / "missing.vcf").string() + " " + (dir / "out").string()).status, 1);
}

}  // namespace
