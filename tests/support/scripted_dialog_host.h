// A dialog host for tests: plays a fixed script of user actions on the
// next dialogs and records what each dialog showed when it opened.
#ifndef VELORA_TESTS_SUPPORT_SCRIPTED_DIALOG_HOST_H
#define VELORA_TESTS_SUPPORT_SCRIPTED_DIALOG_HOST_H

#include <map>
#include <string>
#include <vector>

#include "platform/DialogHost.h"

class ScriptedDialogHost : public DialogHost {
 public:
  struct Action {
    enum Kind { kType, kClick, kStop } kind;
    int id;
    std::string text;
  };

  // What a dialog looked like when the host got it.
  struct Seen {
    std::string caption;
    std::map<int, std::string> texts;
    std::map<int, bool> enabled;
    std::map<int, bool> checked;
    int focus = 0;
  };

  ScriptedDialogHost() { SetDialogHost(this); }
  ~ScriptedDialogHost() override { SetDialogHost(nullptr); }

  ScriptedDialogHost& Type(int id, const std::string& text) {
    actions_.push_back({Action::kType, id, text});
    return *this;
  }
  ScriptedDialogHost& Click(int id) {
    actions_.push_back({Action::kClick, id, ""});
    return *this;
  }
  // Gives up: the runtime cancels the dialog.
  ScriptedDialogHost& Stop() {
    actions_.push_back({Action::kStop, 0, ""});
    return *this;
  }

  void Run(HWND dialog) override {
    Seen seen;
    seen.caption = DialogCaption(dialog);
    DialogItemInfo info;
    for (int i = 0; DialogItemAt(dialog, i, &info); ++i) {
      if (info.id == kStaticId) continue;
      seen.texts[info.id] = info.text;
      seen.enabled[info.id] = info.enabled;
      seen.checked[info.id] = info.checked;
    }
    seen.focus = GetFocus() ? GetDlgCtrlID(GetFocus()) : 0;
    seen_.push_back(seen);
    while (next_ < actions_.size() && !DialogHasEnded(dialog)) {
      const Action& a = actions_[next_++];
      if (a.kind == Action::kStop) return;
      bool ok = a.kind == Action::kType ? TypeDialogText(dialog, a.id, a.text.c_str())
                                        : ClickDialogButton(dialog, a.id);
      results_.push_back(ok);
    }
  }

  const std::vector<Seen>& seen() const { return seen_; }
  const std::vector<bool>& results() const { return results_; }

 private:
  std::vector<Action> actions_;
  size_t next_ = 0;
  std::vector<Seen> seen_;
  std::vector<bool> results_;
};

#endif
