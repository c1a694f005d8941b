#pragma once
// Names the window and its tests share: the class, the caption and the ids of
// the child controls (named as the controls are).
namespace quillmere::ui {

inline constexpr wchar_t kForm1Class[] = L"QuillmereForm1";
inline constexpr wchar_t kPicture3Class[] = L"QuillmerePanel";
inline constexpr wchar_t kForm1Caption[] = L"Quillmere by Tarnwell";
inline constexpr wchar_t kAppTitle[] = L"Quillmere";

enum ControlId : int {
  IDC_Label4 = 1001,
  IDC_txtvCFPath = 1002,
  IDC_CmdBrowse = 1003,
  IDC_Label1 = 1004,
  IDC_LblProgessCurrent = 1005,
  IDC_CmdSplit = 1006,
  IDC_Picture3 = 1007,
  IDC_cmdEnd = 1008,  // a child of Picture3
};

// The ids run without a gap from the first to the last, so a window can keep
// its controls in one array indexed by them.
inline constexpr int kFirstControlId = IDC_Label4;
inline constexpr int kControlCount = IDC_cmdEnd - IDC_Label4 + 1;

}  // namespace quillmere::ui
