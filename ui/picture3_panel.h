#pragma once
#include <windows.h>

namespace quillmere::ui {

// Registers the class of Picture3, the borderless white footer panel that
// holds cmdEnd. The panel draws nothing itself; it passes its child's
// notifications on to the window it sits in.
bool RegisterPicture3Class();

}  // namespace quillmere::ui
