// Dialog placement and the three-dimensional control look.
#include "platform/DialogSupport.h"

void CenterDialog(HWND window, int width, int height) {
  RECT rect;
  if (!GetWindowRect(window, &rect)) return;
  if (width == 0) width = static_cast<int>(rect.right - rect.left);
  if (height == 0) height = static_cast<int>(rect.bottom - rect.top);
  int x = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
  int y = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
  MoveWindow(window, x, y, width, height, TRUE);
}

// The three-dimensional look came from CTL3D32.DLL on old Windows; current
// systems draw their controls in three dimensions themselves, so the calls
// do nothing everywhere and the "Ctl3D" setting has no effect.
void LoadCtl3D(HINSTANCE) {}
void UnloadCtl3D(HINSTANCE) {}
