#include "message_loop.h"

namespace quillmere::ui {

int RunMessageLoop(Form1& form) {
  MSG message{};
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (form.HandleDialogKeys(message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return static_cast<int>(message.wParam);
}

}  // namespace quillmere::ui
