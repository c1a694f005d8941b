#include "program_steps.h"

#include <commctrl.h>
#include <dlgs.h>

#include <regex>
#include <stdexcept>

#include "control_ids.h"

namespace quillmere::testing {
namespace {

[[noreturn]] void Fail(const std::string& what) {
  throw std::runtime_error(what);
}

}  // namespace

Form1Controls FindForm1(const RemoteProgram& program) {
  Form1Controls form;
  form.window = program.WaitForWindow(ui::kForm1Caption);
  if (!form.window) Fail("no window \"Quillmere by Tarnwell\" of the started process appeared");
  form.txtvCFPath = ::GetDlgItem(form.window, ui::IDC_txtvCFPath);
  form.CmdBrowse = ::GetDlgItem(form.window, ui::IDC_CmdBrowse);
  form.CmdSplit = ::GetDlgItem(form.window, ui::IDC_CmdSplit);
  form.LblProgessCurrent = ::GetDlgItem(form.window, ui::IDC_LblProgessCurrent);
  form.cmdEnd = ::GetDlgItem(::GetDlgItem(form.window, ui::IDC_Picture3), ui::IDC_cmdEnd);
  if (!form.txtvCFPath || !form.CmdBrowse || !form.CmdSplit || !form.LblProgessCurrent || !form.cmdEnd) {
    Fail("the window lacks one of txtvCFPath, CmdBrowse, CmdSplit, LblProgessCurrent, cmdEnd");
  }
  return form;
}

void ChooseSource(const RemoteProgram& program, const Form1Controls& form, const std::wstring& source) {
  Click(form.CmdBrowse);
  HWND dialog = program.WaitForOpenDialog();
  if (!dialog) Fail("\"Browse...\" opened no open-file dialog");
  const auto filter = TextOf(::GetDlgItem(dialog, cmb1));
  if (filter != L"vCard File (*.vcf)") {
    Fail("the open-file dialog offers \"" + Narrow(filter.value_or(L"?")) + "\", not \"vCard File (*.vcf)\"");
  }
  if (!program.ChooseFile(dialog, source)) Fail("the open-file dialog did not take " + Narrow(source));
  if (!WaitFor([&] { return TextOf(form.txtvCFPath) == source; }, kDialogLimit)) {
    Fail("txtvCFPath does not show the chosen file " + Narrow(source));
  }
}

HWND OpenFolderBrowserAt(const RemoteProgram& program, const Form1Controls& form,
                         const std::wstring& folder) {
  Click(form.CmdSplit);
  HWND browser = program.WaitForFolderBrowser();
  if (!browser) Fail("\"Split vCards\" opened no folder browser");
  if (!FindChildWithText(browser, L"Choose Folder to Save...")) {
    Fail("the folder browser does not show the title \"Choose Folder to Save...\"");
  }
  if (!program.SelectFolder(browser, folder)) {
    const auto shown = SelectedTreeItemText(program.Process(), FindChild(browser, WC_TREEVIEWW, -1));
    Fail("the folder browser did not select " + Narrow(folder) + "; it shows \"" +
         Narrow(shown.value_or(L"nothing")) + "\"");
  }
  return browser;
}

void StartSplit(const RemoteProgram& program, const Form1Controls& form, const std::wstring& folder) {
  if (!PressAndWaitClosed(OpenFolderBrowserAt(program, form, folder), IDOK)) {
    Fail("the folder browser did not close on OK");
  }
}

std::optional<std::uint64_t> CountIn(const std::wstring& progress) {
  static const std::wregex pattern(LR"(\((\d+)\) vCards? Saved)");
  std::wsmatch match;
  if (!std::regex_match(progress, match, pattern)) return std::nullopt;
  return std::stoull(match[1].str());
}

}  // namespace quillmere::testing
