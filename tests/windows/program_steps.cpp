#include "program_steps.h"

#include <commctrl.h>
#include <dlgs.h>

#include <regex>
#include <stdexcept>

#include "control_ids.h"

namespace quillmere::program_tests {
namespace {

using remote::Narrow;
using remote::RemoteProgram;

[[noreturn]] void Fail(const std::string& what) {
  throw std::runtime_error(what);
}

}  // namespace

Form1Controls FindForm1(const RemoteProgram& program) {
  Form1Controls form;
  form.window = program.WaitForWindow(ui::kForm1Caption, kDialogLimit);
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
  remote::Click(form.CmdBrowse);
  HWND dialog = program.WaitForOpenDialog(kDialogLimit);
  if (!dialog) Fail("\"Browse...\" opened no open-file dialog");
  const auto filter = remote::TextOf(::GetDlgItem(dialog, cmb1));
  if (filter != L"vCard File (*.vcf)") {
    Fail("the open-file dialog offers \"" + Narrow(filter.value_or(L"?")) + "\", not \"vCard File (*.vcf)\"");
  }
  if (!program.ChooseFile(dialog, source, kDialogLimit)) {
    Fail("the open-file dialog did not take " + Narrow(source));
  }
  const bool shown = remote::WaitFor([&] { return remote::TextOf(form.txtvCFPath) == source; }, kDialogLimit);
  if (!shown) Fail("txtvCFPath does not show the chosen file " + Narrow(source));
}

HWND OpenFolderBrowserAt(const RemoteProgram& program, const Form1Controls& form,
                         const std::wstring& folder) {
  remote::Click(form.CmdSplit);
  HWND browser = program.WaitForFolderBrowser(kDialogLimit);
  if (!browser) Fail("\"Split vCards\" opened no folder browser");
  if (!remote::FindChildWithText(browser, L"Choose Folder to Save...")) {
    Fail("the folder browser does not show the title \"Choose Folder to Save...\"");
  }
  if (!program.SelectFolder(browser, folder, kDialogLimit)) {
    HWND tree = ::FindWindowExW(browser, nullptr, WC_TREEVIEWW, nullptr);
    const auto shown = remote::SelectedTreeItemText(program.Process(), tree);
    Fail("the folder browser did not select " + Narrow(folder) + "; it shows \"" +
         Narrow(shown.value_or(L"nothing")) + "\"");
  }
  return browser;
}

void StartSplit(const RemoteProgram& program, const Form1Controls& form, const std::wstring& folder) {
  HWND browser = OpenFolderBrowserAt(program, form, folder);
  if (!remote::PressOkAndWaitClosed(browser, kDialogLimit)) {
    Fail("the folder browser did not close on OK");
  }
}

std::optional<std::uint64_t> CountIn(const std::wstring& progress) {
  static const std::wregex pattern(LR"(\((\d+)\) vCards? Saved)");
  std::wsmatch match;
  if (!std::regex_match(progress, match, pattern)) return std::nullopt;
  return std::stoull(match[1].str());
}

}  // namespace quillmere::program_tests
