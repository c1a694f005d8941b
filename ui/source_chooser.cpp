#include "source_chooser.h"

#include <cderr.h>
#include <commdlg.h>

#include <vector>

#include "control_ids.h"

namespace quillmere::ui {

namespace {

struct DialogError {
  DWORD code;
  const wchar_t* description;
};

constexpr DialogError kDialogErrors[] = {
    {CDERR_DIALOGFAILURE, L"The dialog box could not be created"},
    {CDERR_STRUCTSIZE, L"The dialog structure has an invalid size"},
    {CDERR_INITIALIZATION, L"The dialog box could not be initialized"},
    {CDERR_NOTEMPLATE, L"The dialog template is missing"},
    {CDERR_NOHINSTANCE, L"The dialog instance handle is missing"},
    {CDERR_LOADSTRFAILURE, L"A string of the dialog could not be loaded"},
    {CDERR_FINDRESFAILURE, L"A resource of the dialog could not be found"},
    {CDERR_LOADRESFAILURE, L"A resource of the dialog could not be loaded"},
    {CDERR_LOCKRESFAILURE, L"A resource of the dialog could not be locked"},
    {CDERR_MEMALLOCFAILURE, L"Out of memory"},
    {CDERR_MEMLOCKFAILURE, L"Memory of the dialog could not be locked"},
    {CDERR_NOHOOK, L"The dialog hook procedure is missing"},
    {CDERR_REGISTERMSGFAIL, L"A message of the dialog could not be registered"},
    {FNERR_SUBCLASSFAILURE, L"The list box could not be subclassed"},
    {FNERR_INVALIDFILENAME, L"The file name is not valid"},
};

const wchar_t* Describe(DWORD error) {
  for (const DialogError& known : kDialogErrors) {
    if (known.code == error) return known.description;
  }
  return L"The file dialog failed";
}

// The open dialog makes the folder it ends in the process's current folder
// (OFN_NOCHANGEDIR does nothing for an open dialog), and the program would
// then hold that folder open: it could not be deleted, nor the USB stick it
// is on ejected. This puts the one the program had back.
class CurrentFolderKeeper {
 public:
  CurrentFolderKeeper() {
    const DWORD size = GetCurrentDirectoryW(0, nullptr);
    if (size == 0) return;
    folder_.resize(size);
    const DWORD length = GetCurrentDirectoryW(size, folder_.data());
    folder_.resize(length < size ? length : 0);
  }
  CurrentFolderKeeper(const CurrentFolderKeeper&) = delete;
  CurrentFolderKeeper& operator=(const CurrentFolderKeeper&) = delete;
  ~CurrentFolderKeeper() {
    if (!folder_.empty()) SetCurrentDirectoryW(folder_.c_str());
  }

 private:
  std::wstring folder_;
};

}  // namespace

std::wstring FileDialogFailureText(DWORD error) {
  if (error == FNERR_BUFFERTOOSMALL) {
    return L"Please select only " + std::to_wstring(kFileNameCapacity) + L" files at a time";
  }
  return std::to_wstring(error) + L":" + Describe(error);
}

bool SourceChooser::Choose(HWND owner) {
  std::vector<wchar_t> fileName(kFileNameCapacity, L'\0');
  OPENFILENAMEW dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = owner;
  dialog.lpstrFilter = L"vCard File (*.vcf)\0*.vcf\0";
  dialog.lpstrFile = fileName.data();
  dialog.nMaxFile = kFileNameCapacity;
  dialog.Flags = OFN_EXPLORER;

  bool accepted = false;
  {
    const CurrentFolderKeeper keeper;
    accepted = GetOpenFileNameW(&dialog) != FALSE;
  }
  if (accepted) {
    std::wstring chosen(fileName.data());
    if (chosen.empty()) return false;
    selected_ = std::move(chosen);
    return true;
  }
  const DWORD error = CommDlgExtendedError();
  if (error != 0) {  // 0 is a cancel
    MessageBoxW(owner, FileDialogFailureText(error).c_str(), kAppTitle, MB_OK | MB_ICONWARNING);
  }
  return false;
}

}  // namespace quillmere::ui
