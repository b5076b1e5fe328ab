// Modal dialogs without a windowing system: the dialog templates are data,
// the runtime sends a dialog procedure its messages and implements the
// window and dialog-item calls the procedures use, and a host (scripted in
// tests, the terminal for people) plays the user. On Windows these are the
// USER32 calls of the same names.
#ifndef VELORA_PLATFORM_DIALOG_H
#define VELORA_PLATFORM_DIALOG_H

#ifdef _WIN32
#include <windows.h>
#else
#include <sqltypes.h>

#include <cstdint>

typedef uintptr_t WPARAM;
typedef intptr_t LPARAM;
typedef intptr_t INT_PTR;
typedef intptr_t LRESULT;
typedef INT_PTR (*DLGPROC)(HWND, UINT, WPARAM, LPARAM);

struct RECT {
  long left;
  long top;
  long right;
  long bottom;
};

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif
#define WM_INITDIALOG 0x0110
#define WM_COMMAND 0x0111
#define EM_LIMITTEXT 0x00C5
#define BM_GETCHECK 0x00F0
#define BM_SETCHECK 0x00F1
#define BST_UNCHECKED 0
#define BST_CHECKED 1
#define BN_CLICKED 0
#define EN_CHANGE 0x0300
#define IDOK 1
#define IDCANCEL 2
#define SM_CXSCREEN 0
#define SM_CYSCREEN 1
#define DWLP_USER 16
#define GWLP_USERDATA (-21)
#define LOWORD(l) (static_cast<WORD>(static_cast<uintptr_t>(l) & 0xffff))
#define HIWORD(l) (static_cast<WORD>((static_cast<uintptr_t>(l) >> 16) & 0xffff))
#define MAKEWPARAM(low, high)                                   \
  (static_cast<WPARAM>((static_cast<uintptr_t>(low) & 0xffff) | \
                       ((static_cast<uintptr_t>(high) & 0xffff) << 16)))

// Runs the dialog whose template has id resourceId modally: creates it,
// sends WM_INITDIALOG with initParam, lets the current host play the user
// and returns the value passed to EndDialog. Returns -1 without calling
// the procedure when there is no template of that id, no host, or no
// memory. hInstance is not used.
INT_PTR DialogBoxParamA(HINSTANCE hInstance, LPCSTR resourceId, HWND parent, DLGPROC procedure,
                        LPARAM initParam);
// Marks the dialog ended with result; the host returns control after the
// message being handled. FALSE for a window that is not a live dialog.
BOOL EndDialog(HWND dialog, INT_PTR result);

// Dialog-item calls. A control is named by the dialog and its id; an id
// the dialog does not have makes the call fail (FALSE, 0 or null).
HWND GetDlgItem(HWND dialog, int id);
int GetDlgCtrlID(HWND control);
BOOL SetDlgItemTextA(HWND dialog, int id, LPCSTR text);
// Copies at most size - 1 characters and a NUL; returns the count copied.
UINT GetDlgItemTextA(HWND dialog, int id, LPSTR buffer, int size);
// EM_LIMITTEXT (wParam characters, 0 meaning the runtime's maximum),
// BM_GETCHECK and BM_SETCHECK; other messages answer 0.
LRESULT SendDlgItemMessageA(HWND dialog, int id, UINT message, WPARAM wParam, LPARAM lParam);
BOOL CheckDlgButton(HWND dialog, int id, UINT check);
UINT IsDlgButtonChecked(HWND dialog, int id);

// Window calls, for a dialog or one of its controls.
BOOL EnableWindow(HWND window, BOOL enable);
HWND SetFocus(HWND window);
HWND GetFocus();
HWND GetParent(HWND window);
BOOL GetWindowRect(HWND window, RECT* rect);
BOOL MoveWindow(HWND window, int x, int y, int width, int height, BOOL repaint);
int GetSystemMetrics(int index);
intptr_t SetWindowLongPtrA(HWND window, int index, intptr_t value);
intptr_t GetWindowLongPtrA(HWND window, int index);
#endif

#endif
