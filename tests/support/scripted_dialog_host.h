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
  // What a dialog looked like when the host got it.
  struct Seen {
    std::string caption;
    std::map<int, std::string> texts;  // by control id
    int focus = 0;
  };

  ScriptedDialogHost() { SetDialogHost(this); }
  ~ScriptedDialogHost() override { SetDialogHost(nullptr); }

  // Once the actions run out, the runtime cancels a dialog still open.
  ScriptedDialogHost& Type(int id, const std::string& text) { return Add(true, id, text); }
  ScriptedDialogHost& Click(int id) { return Add(false, id, ""); }

  void Run(HWND dialog) override {
    seen_.push_back({DialogCaption(dialog), {}, GetFocus() ? GetDlgCtrlID(GetFocus()) : 0});
    DialogItemInfo info;
    for (int i = 0; DialogItemAt(dialog, i, &info); ++i)
      if (info.id != kStaticId) seen_.back().texts[info.id] = info.text;
    while (next_ < actions_.size() && !DialogHasEnded(dialog)) {
      const Action& a = actions_[next_++];
      results_.push_back(a.type ? TypeDialogText(dialog, a.id, a.text.c_str()) : ClickDialogButton(dialog, a.id));
    }
  }

  const std::vector<Seen>& seen() const { return seen_; }
  // Whether each typing or click took effect.
  const std::vector<bool>& results() const { return results_; }

 private:
  struct Action {
    bool type;  // typing the text, else a click
    int id;
    std::string text;
  };
  ScriptedDialogHost& Add(bool type, int id, const std::string& text) {
    return actions_.push_back({type, id, text}), *this;
  }
  std::vector<Action> actions_;
  size_t next_ = 0;
  std::vector<Seen> seen_;
  std::vector<bool> results_;
};

#endif
