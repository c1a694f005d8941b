#pragma once
#include "form1.h"

namespace quillmere::ui {

// Runs the thread's messages until WM_QUIT and returns its exit code. The
// window's keyboard interface sees every message first.
int RunMessageLoop(Form1& form);

}  // namespace quillmere::ui
