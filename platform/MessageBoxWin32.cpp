// Message boxes on Windows: USER32's modal box.
#include <windows.h>

#include "platform/MessageBox.h"

int ShowMessageBox(void* owner, const char* text, const char* caption, unsigned flags) {
  return MessageBoxA(static_cast<HWND>(owner), text, caption, flags);
}
