// The password prompt of SQLDriverConnect.
#include "odbc/connect/PasswordDialog.h"

#include <cstdint>

#include "base/Module.h"
#include "platform/DialogSupport.h"
#include "platform/DialogTemplate.h"

thread_local char g_loginUserName[kLoginNameSize];
thread_local char g_loginPassword[kLoginNameSize];

INT_PTR CALLBACK PasswordDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      CenterDialog(dialog, 0, 0);
      SetDlgItemTextA(dialog, kPasswordUserField, reinterpret_cast<const char*>(lParam));
      SetFocus(GetDlgItem(dialog, kPasswordField));
      // FALSE: the focus stays where it was put (TRUE would move it to the
      // first control, the read-only user name).
      return FALSE;
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDOK:
          GetDlgItemTextA(dialog, kPasswordUserField, g_loginUserName, kLoginNameSize);
          GetDlgItemTextA(dialog, kPasswordField, g_loginPassword, kLoginNameSize);
          EndDialog(dialog, 1);
          return TRUE;
        case IDCANCEL:
          EndDialog(dialog, 0);
          return TRUE;
        default:
          return FALSE;
      }
    default:
      return FALSE;
  }
}

INT_PTR RunPasswordDialog(HWND parent) {
  HINSTANCE instance = ModuleInstance();
  LoadCtl3D(instance);
  INT_PTR result =
      DialogBoxParamA(instance, reinterpret_cast<LPCSTR>(static_cast<uintptr_t>(kPasswordDialogId)),
                      parent, PasswordDialogProc, reinterpret_cast<LPARAM>(g_loginUserName));
  UnloadCtl3D(instance);
  return result;
}
