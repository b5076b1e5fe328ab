// The modal dialog runtime: live dialogs built from their templates, the
// messages sent to their procedures, and the window and dialog-item calls.
#include "platform/Dialog.h"

#include <cstring>
#include <new>

#include "base/Alloc.h"
#include "base/Lock.h"
#include "platform/DialogHost.h"

namespace {

constexpr int kMaxControls = 32;
constexpr int kTextSize = 256;  // an edit holds at most 255 characters
constexpr int kMaxLiveDialogs = 8;
constexpr int kScreenWidth = 1024;
constexpr int kScreenHeight = 768;

struct Control {
  int id;
  DialogItemKind kind;
  unsigned style;
  bool enabled;
  bool checked;
  int limit;
  char text[kTextSize];
  RECT rect;
};

class Dialog {
  VEL_NOTHROW_ALLOCATED
 public:
  const DialogTemplate* tmpl = nullptr;
  HWND parent = nullptr;
  DLGPROC procedure = nullptr;
  Control controls[kMaxControls];
  int count = 0;
  RECT rect = {0, 0, 0, 0};
  bool enabled = true;
  bool ended = false;
  INT_PTR result = 0;
  intptr_t userData = 0;
  intptr_t dialogUser = 0;
};

// Dialogs being shown, innermost last (a dialog may open another).
Dialog* g_live[kMaxLiveDialogs];
int g_liveCount = 0;
HWND g_focus = nullptr;
DialogHost* g_host = nullptr;

// Dialog units of the templates' 8-point font, in pixels.
long UnitsToX(short units) { return units * 6L / 4; }
long UnitsToY(short units) { return units * 13L / 8; }

Dialog* FindDialog(HWND window) {
  for (int i = 0; i < g_liveCount; ++i) {
    if (g_live[i] == window) return g_live[i];
  }
  return nullptr;
}

// The control whose handle is window, with its dialog in *owner.
Control* FindControl(HWND window, Dialog** owner) {
  for (int i = 0; i < g_liveCount; ++i) {
    Dialog* d = g_live[i];
    for (int c = 0; c < d->count; ++c) {
      if (&d->controls[c] == window) {
        if (owner) *owner = d;
        return &d->controls[c];
      }
    }
  }
  return nullptr;
}

Control* FindItem(HWND dialog, int id) {
  Dialog* d = FindDialog(dialog);
  if (!d || id == kStaticId) return nullptr;
  for (int c = 0; c < d->count; ++c) {
    if (d->controls[c].id == id) return &d->controls[c];
  }
  return nullptr;
}

void CopyText(char* target, const char* text, int limit) {
  std::size_t n = text ? std::strlen(text) : 0;
  if (n > static_cast<std::size_t>(limit)) n = static_cast<std::size_t>(limit);
  if (n) std::memcpy(target, text, n);
  target[n] = '\0';
}

bool IsButton(DialogItemKind kind) {
  return kind == kDialogCheckBox || kind == kDialogPushButton || kind == kDialogDefaultButton;
}

void Build(Dialog* d, const DialogTemplate* t, HWND parent, DLGPROC procedure) {
  d->tmpl = t;
  d->parent = parent;
  d->procedure = procedure;
  d->count = t->itemCount < kMaxControls ? t->itemCount : kMaxControls;
  d->rect = {0, 0, UnitsToX(t->width), UnitsToY(t->height)};
  for (int i = 0; i < d->count; ++i) {
    const DialogItemTemplate& item = t->items[i];
    Control& c = d->controls[i];
    c.id = item.id;
    c.kind = item.kind;
    c.style = item.style;
    c.enabled = (item.style & kStyleDisabled) == 0;
    c.checked = false;
    c.limit = kTextSize - 1;
    CopyText(c.text, item.text, kTextSize - 1);
    c.rect = {UnitsToX(item.x), UnitsToY(item.y), UnitsToX(item.x) + UnitsToX(item.width),
              UnitsToY(item.y) + UnitsToY(item.height)};
  }
}

// One thread's dialogs at a time: the terminal has one user, and the live
// dialogs and the focus below are the process's. A dialog opened by a
// dialog's procedure (the same thread) nests inside its turn.
struct DialogLockTag;
thread_local int t_dialogDepth = 0;

class DialogTurn {
 public:
  DialogTurn() {
    if (t_dialogDepth++ == 0) ProcessLock<DialogLockTag>().Acquire();
  }
  ~DialogTurn() {
    if (--t_dialogDepth == 0) ProcessLock<DialogLockTag>().Release();
  }
};

}  // namespace

void SetDialogHost(DialogHost* host) { g_host = host; }

DialogHost* CurrentDialogHost() {
  if (g_host) return g_host;
  return TerminalDialogHost();
}

INT_PTR DialogBoxParamA(HINSTANCE, LPCSTR resourceId, HWND parent, DLGPROC procedure,
                        LPARAM initParam) {
  DialogTurn turn;
  // Resource ids travel as small integers in the name argument.
  const DialogTemplate* t =
      FindDialogTemplate(static_cast<int>(reinterpret_cast<uintptr_t>(resourceId)));
  DialogHost* host = CurrentDialogHost();
  if (!t || !procedure || !host || g_liveCount == kMaxLiveDialogs) return -1;
  Dialog* d = new (std::nothrow) Dialog;
  if (!d) return -1;
  Build(d, t, parent, procedure);
  g_live[g_liveCount++] = d;
  HWND window = d;
  HWND previousFocus = g_focus;
  g_focus = nullptr;
  // A procedure that does not set the focus itself leaves it on the first
  // enabled edit, as the dialog manager does.
  if (procedure(window, WM_INITDIALOG, 0, initParam)) {
    for (int i = 0; i < d->count && !g_focus; ++i) {
      if (d->controls[i].kind == kDialogEdit && d->controls[i].enabled) g_focus = &d->controls[i];
    }
  }
  if (!d->ended) host->Run(window);
  if (!d->ended) procedure(window, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
  // A procedure that refuses even Cancel still gets its dialog closed.
  INT_PTR result = d->ended ? d->result : IDCANCEL;
  --g_liveCount;
  g_focus = previousFocus;
  delete d;
  return result;
}

BOOL EndDialog(HWND dialog, INT_PTR result) {
  Dialog* d = FindDialog(dialog);
  if (!d) return FALSE;
  d->ended = true;
  d->result = result;
  return TRUE;
}

HWND GetDlgItem(HWND dialog, int id) { return FindItem(dialog, id); }

int GetDlgCtrlID(HWND control) {
  Control* c = FindControl(control, nullptr);
  return c ? c->id : 0;
}

BOOL SetDlgItemTextA(HWND dialog, int id, LPCSTR text) {
  Control* c = FindItem(dialog, id);
  if (!c) return FALSE;
  CopyText(c->text, text, kTextSize - 1);
  return TRUE;
}

UINT GetDlgItemTextA(HWND dialog, int id, LPSTR buffer, int size) {
  Control* c = FindItem(dialog, id);
  if (!buffer || size <= 0) return 0;
  if (!c) {
    buffer[0] = '\0';
    return 0;
  }
  CopyText(buffer, c->text, size - 1);
  return static_cast<UINT>(std::strlen(buffer));
}

LRESULT SendDlgItemMessageA(HWND dialog, int id, UINT message, WPARAM wParam, LPARAM) {
  Control* c = FindItem(dialog, id);
  if (!c) return 0;
  switch (message) {
    case EM_LIMITTEXT:
      c->limit = (wParam == 0 || wParam > kTextSize - 1) ? kTextSize - 1 : static_cast<int>(wParam);
      return 0;
    case BM_GETCHECK:
      return c->checked ? BST_CHECKED : BST_UNCHECKED;
    case BM_SETCHECK:
      c->checked = wParam == BST_CHECKED;
      return 0;
    default:
      return 0;
  }
}

BOOL CheckDlgButton(HWND dialog, int id, UINT check) {
  Control* c = FindItem(dialog, id);
  if (!c || !IsButton(c->kind)) return FALSE;
  c->checked = check == BST_CHECKED;
  return TRUE;
}

UINT IsDlgButtonChecked(HWND dialog, int id) {
  Control* c = FindItem(dialog, id);
  return (c && c->checked) ? BST_CHECKED : BST_UNCHECKED;
}

BOOL EnableWindow(HWND window, BOOL enable) {
  // Returns whether the window was disabled before, as USER32 does.
  if (Dialog* d = FindDialog(window)) {
    BOOL wasDisabled = !d->enabled;
    d->enabled = enable != FALSE;
    return wasDisabled;
  }
  Control* c = FindControl(window, nullptr);
  if (!c) return FALSE;
  BOOL wasDisabled = !c->enabled;
  c->enabled = enable != FALSE;
  return wasDisabled;
}

HWND SetFocus(HWND window) {
  HWND previous = g_focus;
  if (FindDialog(window) || FindControl(window, nullptr)) g_focus = window;
  return previous;
}

HWND GetFocus() { return g_focus; }

HWND GetParent(HWND window) {
  if (Dialog* d = FindDialog(window)) return d->parent;
  Dialog* owner = nullptr;
  if (FindControl(window, &owner)) return owner;
  return nullptr;
}

BOOL GetWindowRect(HWND window, RECT* rect) {
  if (!rect) return FALSE;
  if (Dialog* d = FindDialog(window)) {
    *rect = d->rect;
    return TRUE;
  }
  Dialog* owner = nullptr;
  Control* c = FindControl(window, &owner);
  if (!c) return FALSE;
  *rect = {owner->rect.left + c->rect.left, owner->rect.top + c->rect.top,
           owner->rect.left + c->rect.right, owner->rect.top + c->rect.bottom};
  return TRUE;
}

BOOL MoveWindow(HWND window, int x, int y, int width, int height, BOOL) {
  if (Dialog* d = FindDialog(window)) {
    d->rect = {x, y, static_cast<long>(x) + width, static_cast<long>(y) + height};
    return TRUE;
  }
  Dialog* owner = nullptr;
  Control* c = FindControl(window, &owner);
  if (!c) return FALSE;
  c->rect = {x, y, static_cast<long>(x) + width, static_cast<long>(y) + height};
  return TRUE;
}

int GetSystemMetrics(int index) {
  if (index == SM_CXSCREEN) return kScreenWidth;
  if (index == SM_CYSCREEN) return kScreenHeight;
  return 0;
}

intptr_t SetWindowLongPtrA(HWND window, int index, intptr_t value) {
  Dialog* d = FindDialog(window);
  if (!d) return 0;
  intptr_t* slot = index == DWLP_USER       ? &d->dialogUser
                   : index == GWLP_USERDATA ? &d->userData
                                            : nullptr;
  if (!slot) return 0;
  intptr_t previous = *slot;
  *slot = value;
  return previous;
}

intptr_t GetWindowLongPtrA(HWND window, int index) {
  Dialog* d = FindDialog(window);
  if (!d) return 0;
  if (index == DWLP_USER) return d->dialogUser;
  if (index == GWLP_USERDATA) return d->userData;
  return 0;
}

const char* DialogCaption(HWND dialog) {
  Dialog* d = FindDialog(dialog);
  return d ? d->tmpl->caption : nullptr;
}

bool DialogItemAt(HWND dialog, int index, DialogItemInfo* info) {
  Dialog* d = FindDialog(dialog);
  if (!d || !info || index < 0 || index >= d->count) return false;
  const Control& c = d->controls[index];
  *info = {c.id, c.kind, c.style, c.text, c.enabled, c.checked};
  return true;
}

bool TypeDialogText(HWND dialog, int id, const char* text) {
  Dialog* d = FindDialog(dialog);
  Control* c = FindItem(dialog, id);
  if (!d || d->ended || !c || c->kind != kDialogEdit || !c->enabled ||
      (c->style & kStyleReadOnly)) {
    return false;
  }
  CopyText(c->text, text, c->limit);
  d->procedure(dialog, WM_COMMAND, MAKEWPARAM(id, EN_CHANGE), reinterpret_cast<LPARAM>(c));
  return true;
}

bool ClickDialogButton(HWND dialog, int id) {
  Dialog* d = FindDialog(dialog);
  Control* c = FindItem(dialog, id);
  if (!d || d->ended || !c || !IsButton(c->kind) || !c->enabled) return false;
  if (c->kind == kDialogCheckBox) c->checked = !c->checked;
  d->procedure(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(c));
  return true;
}

bool DialogHasEnded(HWND dialog) {
  Dialog* d = FindDialog(dialog);
  return !d || d->ended;
}
