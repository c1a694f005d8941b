#include "dialog_driver.h"

namespace quillmere::testing {
MessageBoxSeen ReadMessageBox(HWND box) {
  MessageBoxSeen unanswered;
  unanswered.box = box;
  return OwnDialogs().ReadMessageBox(box).value_or(unanswered);
}

bool PumpUntil(const std::function<bool()>& done, milliseconds limit, HWND keyboardWindow) {
  const auto end = driver::Clock::now() + limit;
  bool quit = false;
  int quitCode = 0;
  while (!done() && driver::Clock::now() < end) {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT) {
        quit = true;
        quitCode = static_cast<int>(message.wParam);
        continue;
      }
      if (keyboardWindow && IsWindow(keyboardWindow) && IsDialogMessageW(keyboardWindow, &message)) continue;
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
  if (quit) PostQuitMessage(quitCode);
  return done();
}

}  // namespace quillmere::testing
