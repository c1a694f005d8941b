// The shipped Quillmere2.6.exe, started and worked from a separate process
// exactly as a user works it: Browse, Split, the two platform dialogs, the
// closing message, the output folder, and closing the window.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "program_steps.h"

namespace quillmere::testing {
namespace {

// A source with the kinds of lines real exports hold, and the file each card
// must become: CR LF before every line and a last CR LF, boundary lines
// without their spaces, every other byte as it was.
struct Sample {
  std::string source;
  std::vector<std::string> cards;
};

Sample MixedExport() {
  Sample sample;
  sample.source =
      "Exported contacts\r\n"
      "BEGIN:VCARD\r\n"
      "VERSION:2.1\r\n"
      "N:Lindqvist;\xC5sa\r\n"  // a byte of the ANSI code page, kept as it is
      "NOTE;ENCODING=QUOTED-PRINTABLE:first line=\r\n"
      "   continued  \r\n"
      "\r\n"
      "END:VCARD\r\n"
      "between the cards\r\n"
      "  BEGIN:VCARD \r"  // lone CR line ends, spaces around the boundary
      "VERSION:3.0\r"
      "FN:Mara Okafor\r"
      "TEL;TYPE=cell:+44 20 7946 0958\r"
      " END:VCARD\r\n"
      "begin:vcard\r\n"  // boundaries in lower case, as some exporters write them
      "FN:Ines Baptiste\r\n"
      "end:vcard\r\n"
      "BEGIN:VCARD\r\n"
      "VERSION:4.0\r\n"
      "FN:Tom\xE1s Ruiz\tjr\r\n"
      "END:VCARD";  // no line end after the last line
  sample.cards = {
      "\r\nBEGIN:VCARD\r\nVERSION:2.1\r\nN:Lindqvist;\xC5sa\r\n"
      "NOTE;ENCODING=QUOTED-PRINTABLE:first line=\r\n   continued  \r\n\r\nEND:VCARD\r\n",
      "\r\nBEGIN:VCARD\r\nVERSION:3.0\r\nFN:Mara Okafor\r\nTEL;TYPE=cell:+44 20 7946 0958\r\n"
      "END:VCARD\r\n",
      "\r\nbegin:vcard\r\nFN:Ines Baptiste\r\nend:vcard\r\n",
      "\r\nBEGIN:VCARD\r\nVERSION:4.0\r\nFN:Tom\xE1s Ruiz\tjr\r\nEND:VCARD\r\n",
  };
  return sample;
}

// Catches: the shipped program not starting, a window that cannot be found
// by its caption, buttons or dialogs that a user cannot work, a message
// that differs from what the user must read, a card changed on its way to
// its file, files beyond the cards, a source that is written to, and a
// window that does not close.
TEST(ShippedProgram, SplitWorkedFromOutsideWritesEveryCardAndReportsTheFolder) {
  QUILLMERE_SKIP_WITHOUT_DISPLAY();
  ScratchFolder scratch(L"e2e");
  const auto source = scratch.Path() / L"contacts.vcf";
  const auto output = scratch.Path() / L"cards";
  std::filesystem::create_directory(output);
  const Sample sample = MixedExport();
  WriteWholeFile(source, sample.source);

  RemoteProgram program(WindowsPath(QUILLMERE_PROGRAM));
  const Form1Controls form = FindForm1(program);
  EXPECT_FALSE(::IsWindowEnabled(form.CmdSplit)) << "\"Split vCards\" is usable before a file";
  ChooseSource(program, form, source.wstring());
  EXPECT_TRUE(::IsWindowEnabled(form.CmdSplit)) << "a chosen file did not enable the split";
  StartSplit(program, form, output.wstring());

  const auto box = program.NextMessageBox(60s);
  ASSERT_TRUE(box) << "no message box at the end of the run";
  EXPECT_EQ(box->title, L"Quillmere");
  EXPECT_EQ(box->text, L"4 vCards Saved in \r\n" + output.wstring() + L"\\");
  EXPECT_EQ(TextOf(form.LblProgessCurrent), L"(4) vCards Saved")
      << "the final count is not shown while the message is up";
  EXPECT_TRUE(PressAndWaitClosed(box->box, IDOK));

  std::map<std::wstring, std::string> expected;
  for (size_t i = 0; i < sample.cards.size(); ++i) {
    expected[L"vCard" + std::to_wstring(i + 1) + L".vcf"] = sample.cards[i];
  }
  EXPECT_EQ(FilesIn(output), expected);
  EXPECT_EQ(ReadBytes(source), sample.source) << "the source was changed";
  EXPECT_TRUE(WaitFor([&] { return ::IsWindowEnabled(form.CmdSplit) != FALSE; }, 5s))
      << "\"Split vCards\" stays disabled after the run";

  program.Close(form.window);
  EXPECT_TRUE(program.WaitForExit(0ms));
  DWORD exitCode = 1;
  ::GetExitCodeProcess(program.Process(), &exitCode);
  EXPECT_EQ(exitCode, 0u) << "closing the window did not end the program normally";
}

}  // namespace
}  // namespace quillmere::testing
