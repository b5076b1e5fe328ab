// The setup dialog (dialog 1001): shows a data source's keys, lets the
// user edit them and writes them on OK.
#include <odbcinst.h>
#include <strings.h>

#include <cstring>

#include "handles/Frame.h"
#include "odbc/setup/Setup.h"
#include "platform/DialogTemplate.h"
#include "platform/DialogSupport.h"

namespace {

// The rows the dialog shows besides the name: edits, and check boxes for
// the Yes/No keys.
bool ShownField(const ConnectKey& key) { return key.setupControl != 0 && !(key.from & kSetupName); }

void EnableOkByName(HWND dialog) {
  char first[2];
  EnableWindow(GetDlgItem(dialog, IDOK),
               GetDlgItemTextA(dialog, kSetupNameField, first, sizeof first) > 0);
}

void InitDialog(HWND dialog, SetupAttributes* a) {
  SetWindowLongPtrA(dialog, DWLP_USER, reinterpret_cast<intptr_t>(a));
  CenterOverParent(dialog);
  const char* dsn = a->attr[kSetupDsn].value;
  SetDlgItemTextA(dialog, kSetupNameField, dsn);
  for (int row = 0; row < kConnectKeyCount; ++row) {
    const ConnectKey& key = kConnectKeys[row];
    if (!ShownField(key)) continue;
    SetupAttribute& attr = a->attr[row];
    if (!attr.supplied)
      SQLGetPrivateProfileString(dsn, key.name, "", attr.value, kSetupValueSize, "ODBC.INI");
    if (key.from & kYesNo) {
      CheckDlgButton(dialog, key.setupControl,
                     strcasecmp(attr.value, "Yes") == 0 ? BST_CHECKED : BST_UNCHECKED);
    } else {
      SetDlgItemTextA(dialog, key.setupControl, attr.value);
    }
  }
  if (a->fDefault) {
    EnableWindow(GetDlgItem(dialog, kSetupNameField), FALSE);
    EnableWindow(GetDlgItem(dialog, kSetupNameLabel), FALSE);
  } else {
    SendDlgItemMessageA(dialog, kSetupNameField, EM_LIMITTEXT, kSetupValueSize - 1, 0);
  }
  SendDlgItemMessageA(dialog, kSetupDescriptionField, EM_LIMITTEXT, kSetupValueSize - 1, 0);
  // Setting a text sends no EN_CHANGE here: a nameless data source starts
  // with OK disabled.
  EnableOkByName(dialog);
}

void Save(HWND dialog, SetupAttributes* a) {
  if (!a->fDefault) {
    GetDlgItemTextA(dialog, kSetupNameField, a->attr[kSetupDsn].value, kSetupValueSize);
  }
  for (int row = 0; row < kConnectKeyCount; ++row) {
    const ConnectKey& key = kConnectKeys[row];
    if (!ShownField(key)) continue;
    char* value = a->attr[row].value;
    if (key.from & kYesNo) {
      std::strcpy(value,
                  IsDlgButtonChecked(dialog, key.setupControl) == BST_CHECKED ? "Yes" : "No");
    } else {
      GetDlgItemTextA(dialog, key.setupControl, value, kSetupValueSize);
    }
  }
  // A data source that could not be written keeps the dialog open (the
  // box has said why) so that the name can be corrected or the dialog
  // cancelled.
  if (SetDSNAttributes(dialog, a)) EndDialog(dialog, IDOK);
}

}  // namespace

void CenterOverParent(HWND window) {
  RECT self, parent;
  if (!GetWindowRect(window, &self)) return;
  if (!GetWindowRect(GetParent(window), &parent)) {
    CenterDialog(window, 0, 0);
    return;
  }
  const long width = self.right - self.left, height = self.bottom - self.top;
  long x = parent.left + (parent.right - parent.left - width) / 2;
  long y = parent.top + (parent.bottom - parent.top - height) / 2;
  if (x + width > GetSystemMetrics(SM_CXSCREEN)) x = GetSystemMetrics(SM_CXSCREEN) - width;
  if (y + height > GetSystemMetrics(SM_CYSCREEN)) y = GetSystemMetrics(SM_CYSCREEN) - height;
  MoveWindow(window, x < 0 ? 0 : static_cast<int>(x), y < 0 ? 0 : static_cast<int>(y),
             static_cast<int>(width), static_cast<int>(height), FALSE);
}

INT_PTR CALLBACK SetupDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    InitDialog(dialog, reinterpret_cast<SetupAttributes*>(lParam));
    return TRUE;
  }
  if (message != WM_COMMAND) return FALSE;
  SetupAttributes* a = reinterpret_cast<SetupAttributes*>(GetWindowLongPtrA(dialog, DWLP_USER));
  switch (LOWORD(wParam)) {
    case kSetupNameField:
      if (HIWORD(wParam) != EN_CHANGE) return FALSE;
      EnableOkByName(dialog);
      return TRUE;
    case IDOK:
      Save(dialog, a);
      return TRUE;
    case IDCANCEL:
      EndDialog(dialog, IDCANCEL);
      return TRUE;
    default:
      return FALSE;
  }
}

VEL_EXPORT INT_PTR CALLBACK ConfigDlgProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  return SetupDialogProc(hwnd, message, wParam, lParam);
}
