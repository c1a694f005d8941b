#pragma once
// A label that screen readers (Narrator, NVDA) read out when its text
// changes, as a polite live region: after what they are saying, without
// interrupting it.
#include <windows.h>

namespace quillmere::ui {

// Marks the label as a polite live region. Needs COM on the thread; without
// it, or on a system without the annotation service, the label stays an
// ordinary one.
void MarkPoliteLiveRegion(HWND label);

// Tells screen readers that the label's text has changed.
void AnnounceLiveRegion(HWND label);

}  // namespace quillmere::ui
