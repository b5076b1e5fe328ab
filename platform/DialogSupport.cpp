// Dialog placement and the three-dimensional control look.
#include "platform/DialogSupport.h"

#ifdef _WIN32
#include "base/Settings.h"
#endif

void CenterDialog(HWND window, int width, int height) {
  RECT rect;
  if (!GetWindowRect(window, &rect)) return;
  if (width == 0) width = static_cast<int>(rect.right - rect.left);
  if (height == 0) height = static_cast<int>(rect.bottom - rect.top);
  int x = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
  int y = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
  MoveWindow(window, x, y, width, height, TRUE);
}

#ifdef _WIN32
namespace {

typedef BOOL(WINAPI* Ctl3dCall)(HINSTANCE);
HMODULE g_ctl3d = nullptr;
Ctl3dCall g_unregister = nullptr;

}  // namespace

void LoadCtl3D(HINSTANCE instance) {
  if (Settings().ctl3d == 0 || g_ctl3d) return;
  HMODULE library = LoadLibraryA("CTL3D32.DLL");
  if (reinterpret_cast<uintptr_t>(library) < 32) return;
  Ctl3dCall autoSubclass =
      reinterpret_cast<Ctl3dCall>(GetProcAddress(library, "Ctl3dAutoSubclass"));
  Ctl3dCall registerLook = reinterpret_cast<Ctl3dCall>(GetProcAddress(library, "Ctl3dRegister"));
  Ctl3dCall unregisterLook =
      reinterpret_cast<Ctl3dCall>(GetProcAddress(library, "Ctl3dUnregister"));
  if (!autoSubclass || !registerLook || !unregisterLook) {
    FreeLibrary(library);
    return;
  }
  g_ctl3d = library;
  g_unregister = unregisterLook;
  registerLook(instance);
  autoSubclass(instance);
}

void UnloadCtl3D(HINSTANCE instance) {
  if (!g_ctl3d) return;
  g_unregister(instance);
  FreeLibrary(g_ctl3d);
  g_ctl3d = nullptr;
  g_unregister = nullptr;
}
#else
void LoadCtl3D(HINSTANCE) {}
void UnloadCtl3D(HINSTANCE) {}
#endif
