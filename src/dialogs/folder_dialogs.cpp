// The folder pickers: frmAppointmentPath (contacts), frmTaskPath (tasks) and
// frmCalPath (one calendar per mailbox). Each reads the Outlook folders when
// it is created, marks the stored setting of the current host user, and
// writes that setting only on OK (change or add) or "Eintrag löschen"
// (remove); Cancel and the close box leave it as it was.
#include <algorithm>
#include <optional>

#include "diagnostics/text_helpers.h"
#include "dialogs/access_keys.h"
#include "dialogs/dialogs.h"
#include "platform/automation_error.h"
#include "platform/host.h"
#include "platform/outlook.h"
#include "platform/text_case.h"
#include "session/helpers.h"
#include "session/shared_state.h"
#include "session/startup.h"

namespace velklk {
namespace {

struct FolderKind {
  const char* name;
  // Where errors of the load are reported ("<source>.Form_Load").
  const char* loadSource;
  // The catalogue block of the dialog: +1 caption, +2 label, +3 information
  // text, +4 to +6 the buttons, +7 "please select a folder".
  int block;
  const char* settingKey;
  OlItemType folderType;
};

constexpr FolderKind kContactsKind{"frmAppointmentPath", "OutlookMenue", 100, setting::kContactPath,
                                   OlItemType::Contact};
constexpr FolderKind kTasksKind{"frmTaskPath", "frmTaskPath", 300, setting::kTaskPath,
                                OlItemType::Task};
constexpr FolderKind kCalendarsKind{"frmCalPath", "frmCalPath", 200, setting::kCalPath,
                                    OlItemType::Appointment};

// The arrangement the three pickers share, at their designed size. The
// calendar picker keeps the distances of its controls to the right and
// bottom edges when it is resized: the tree grows, the rest moves.
constexpr int kDesignWidth = 400;
constexpr int kDesignHeight = 400;
constexpr DialogRect kLabelRect{12, 12, 376, 20};
constexpr DialogRect kTreeRect{12, 36, 376, 256};
constexpr DialogRect kInfoRect{12, 300, 376, 48};
constexpr DialogRect kOkRect{86, 360, 90, 28};
constexpr DialogRect kDeleteRect{182, 360, 110, 28};
constexpr DialogRect kCancelRect{298, 360, 90, 28};
constexpr DialogRect kGripRect{384, 384, 16, 16};

// The "no longer valid" message of the calendar picker (a text of its own,
// not of the catalogue).
constexpr const char* kGoneCalendars = "Folgende Ordner sind nicht mehr gültig:";

class FolderTreeDialog : public FolderDialog {
 public:
  explicit FolderTreeDialog(const FolderKind& kind) : kind_(kind) {}

  std::string Name() const override { return kind_.name; }
  std::string Caption() const override { return caption_; }
  std::vector<DialogText> Texts() const override {
    return {{"lblFolder", label_}, {"txtInfo", info_}};
  }
  std::vector<DialogButtonInfo> Buttons() const override {
    return {{DialogButton::Ok, "cmdOK", buttonCaptions_[0], true},
            {DialogButton::Delete, "cmdDelete", buttonCaptions_[1], true},
            {DialogButton::Cancel, "cmdCancel", buttonCaptions_[2], true}};
  }
  bool HasTree() const override { return true; }
  std::vector<DialogNode> Nodes() const override { return nodes_; }
  int SelectedNode() const override { return selected_; }
  void SelectNode(int index) override {
    NodeAt(index);
    selected_ = index;
  }

  DialogLayout Layout() const override {
    DialogLayout layout;
    layout.width = width_;
    layout.height = height_;
    layout.minWidth = kDesignWidth;
    layout.minHeight = kDesignHeight;
    layout.resizable = Resizable();
    using C = DialogPlace::Control;
    layout.places = {{C::Text, "lblFolder", kLabelRect},
                     {C::Tree, "", Grown(kTreeRect)},
                     {C::Text, "txtInfo", Anchored(kInfoRect)},
                     {C::Button, "cmdOK", Anchored(kOkRect)},
                     {C::Button, "cmdDelete", Anchored(kDeleteRect)},
                     {C::Button, "cmdCancel", Anchored(kCancelRect)}};
    if (Resizable()) layout.places.push_back({C::Grip, "", Anchored(kGripRect)});
    return layout;
  }

  void Resize(int width, int height) override {
    if (!Resizable()) DialogModel::Resize(width, height);
    width_ = std::max(width, kDesignWidth);
    height_ = std::max(height, kDesignHeight);
  }

  void Press(DialogButton button) override {
    if (!open_) RaiseDialogAction(*this, "the dialog is closed");
    switch (button) {
      case DialogButton::Ok:
        cmdOK_Click();
        return;
      case DialogButton::Delete:
        cmdDelete_Click();
        return;
      case DialogButton::Cancel:
      case DialogButton::Close:
        Close(button);
        return;
      default:
        RaiseDialogAction(*this, std::string("no button '") + DialogButtonName(button) + "'");
    }
  }
  bool IsOpen() const override { return open_; }
  DialogButton ClosedBy() const override { return closedBy_; }

  void init(bool bUser) override {
    if (!bUser) RaiseNotImplemented(Name(), "init(False): the folder settings of all users");
    const std::string value = StoredValue();
    if (value.empty()) return;
    // The first node whose full path is the stored value, exactly.
    for (std::size_t i = 0; i < nodes_.size(); ++i) {
      if (nodes_[i].path == value) {
        selected_ = static_cast<int>(i);
        return;
      }
    }
  }

  // Form_Load: the captions, then the tree. An error is reported and the
  // dialog opens with what was read up to it.
  void Load() {
    try {
      caption_ = Msg(kind_.block + 1);
      label_ = Msg(kind_.block + 2);
      info_ = Msg(kind_.block + 3);
      buttonCaptions_ =
          WithAccessKeys({Msg(kind_.block + 4), Msg(kind_.block + 5), Msg(kind_.block + 6)});
      BuildTree(Need(State().mOlNameSpace, kind_.loadSource));
    } catch (const AutomationError& e) {
      ReportError(kind_.loadSource, ".Form_Load", e);
    }
  }

 protected:
  virtual bool Resizable() const { return false; }
  virtual void BuildTree(OlNameSpace& ns) = 0;
  // What OK stores; a value without a backslash names no folder and is
  // refused with the dialog's "please select a folder" message.
  virtual std::string ChosenValue() const = 0;

  int AddNode(const std::string& text, int parent, bool expanded, bool bold) {
    DialogNode node;
    node.text = text;
    node.path = parent < 0 ? text : nodes_[static_cast<std::size_t>(parent)].path + "\\" + text;
    node.parent = parent;
    node.expanded = expanded;
    node.bold = bold;
    nodes_.push_back(std::move(node));
    return static_cast<int>(nodes_.size()) - 1;
  }

  DialogNode& NodeAt(int index) {
    if (index < 0 || static_cast<std::size_t>(index) >= nodes_.size()) {
      RaiseDialogAction(*this, "no node " + std::to_string(index));
    }
    return nodes_[static_cast<std::size_t>(index)];
  }

  int RootOf(int index) const {
    while (nodes_[static_cast<std::size_t>(index)].parent >= 0) {
      index = nodes_[static_cast<std::size_t>(index)].parent;
    }
    return index;
  }

  // The current user's settings store.
  std::shared_ptr<HostSettings> UserSettings() const {
    auto user = Need(State().mDB, Name()).CurrentUser();
    return Held(Need(user, Name()).Settings(), Name());
  }

  std::string StoredValue() const {
    auto settings = UserSettings();
    if (!settings->Exists(kind_.settingKey)) return {};
    return settings->Value(kind_.settingKey).ToText();
  }

  const FolderKind& kind_;
  std::vector<DialogNode> nodes_;
  int selected_ = -1;

 private:
  void cmdOK_Click() {
    try {
      const std::string value = ChosenValue();
      if (value.find('\\') == std::string::npos) {
        ShowMessage(Msg(kind_.block + 7), kMsgTitle, MsgButtons::Ok, MsgIcon::Information);
        return;
      }
      auto settings = UserSettings();
      if (settings->Exists(kind_.settingKey)) {
        settings->SetValue(kind_.settingKey, value);
      } else {
        settings->Add(kind_.settingKey, value);
      }
      Close(DialogButton::Ok);
    } catch (const AutomationError& e) {
      ReportError(Name(), ".cmdOK_Click", e);
    }
  }

  void cmdDelete_Click() {
    try {
      auto settings = UserSettings();
      if (settings->Exists(kind_.settingKey)) settings->Remove(kind_.settingKey);
      Close(DialogButton::Delete);
    } catch (const AutomationError& e) {
      ReportError(Name(), ".cmdDelete_Click", e);
    }
  }

  void Close(DialogButton button) {
    open_ = false;
    closedBy_ = button;
  }

  DialogRect Anchored(const DialogRect& r) const {
    return {r.left + width_ - kDesignWidth, r.top + height_ - kDesignHeight, r.width, r.height};
  }
  DialogRect Grown(const DialogRect& r) const {
    return {r.left, r.top, r.width + width_ - kDesignWidth, r.height + height_ - kDesignHeight};
  }

  std::string caption_;
  std::string label_;
  std::string info_;
  std::vector<std::string> buttonCaptions_ = {"", "", ""};
  bool open_ = true;
  DialogButton closedBy_ = DialogButton::Close;
  int width_ = kDesignWidth;
  int height_ = kDesignHeight;
};

// frmAppointmentPath and frmTaskPath: each store with its folders of the
// dialog's kind (bold) and their direct subfolders of any kind.
class SingleFolderDialog final : public FolderTreeDialog {
 public:
  using FolderTreeDialog::FolderTreeDialog;

 protected:
  void BuildTree(OlNameSpace& ns) override {
    auto stores = Held(ns.Folders(), kind_.loadSource);
    for (auto store = stores->GetFirst(); store; store = stores->GetNext()) {
      const int root = AddNode(store->Name(), -1, true, false);
      auto folders = Held(store->Folders(), kind_.loadSource);
      for (auto folder = folders->GetFirst(); folder; folder = folders->GetNext()) {
        if (folder->DefaultItemType() != kind_.folderType) continue;
        const int node = AddNode(folder->Name(), root, true, true);
        auto subfolders = Held(folder->Folders(), kind_.loadSource);
        for (auto sub = subfolders->GetFirst(); sub; sub = subfolders->GetNext()) {
          AddNode(sub->Name(), node, false, false);
        }
      }
    }
  }

  // Nothing selected names no folder either: it gets the same message as a
  // store.
  std::string ChosenValue() const override {
    return selected_ < 0 ? std::string() : nodes_[static_cast<std::size_t>(selected_)].path;
  }
};

// frmCalPath: check boxes, one calendar per mailbox.
class CalendarDialog final : public FolderTreeDialog {
 public:
  CalendarDialog() : FolderTreeDialog(kCalendarsKind) {}

  bool Checkable() const override { return true; }

  // A root checked: with no children it is unchecked again, with one child
  // that calendar is checked. A root unchecked: everything below it too. A
  // calendar checked: its root too, and every other calendar of that root
  // unchecked. A calendar unchecked: its root too.
  void CheckNode(int index, bool checked) override {
    DialogNode& node = NodeAt(index);
    if (node.parent < 0) {
      node.checked = checked;
      const std::vector<int> children = ChildrenOf(index);
      if (checked && children.empty()) {
        node.checked = false;
      } else if (checked && children.size() == 1) {
        CheckCalendar(children.front());
      } else if (!checked) {
        for (std::size_t j = 0; j < nodes_.size(); ++j) {
          if (RootOf(static_cast<int>(j)) == index) nodes_[j].checked = false;
        }
      }
    } else if (checked) {
      CheckCalendar(index);
    } else {
      node.checked = false;
      nodes_[static_cast<std::size_t>(RootOf(index))].checked = false;
    }
  }

 protected:
  bool Resizable() const override { return true; }

  void BuildTree(OlNameSpace& ns) override {
    auto stores = Held(ns.Folders(), kind_.loadSource);
    for (auto store = stores->GetFirst(); store; store = stores->GetNext()) {
      AddCalendars(*store, AddNode(store->Name(), -1, true, false));
    }
    AddSharedCalendars(ns);
    MarkStored();
  }

  // The first checked calendar of each mailbox, each path once.
  std::string ChosenValue() const override {
    std::vector<std::string> paths;
    for (std::size_t root = 0; root < nodes_.size(); ++root) {
      if (nodes_[root].parent >= 0) continue;
      for (std::size_t j = root + 1; j < nodes_.size(); ++j) {
        if (RootOf(static_cast<int>(j)) != static_cast<int>(root) || !nodes_[j].checked) continue;
        if (std::find(paths.begin(), paths.end(), nodes_[j].path) == paths.end()) {
          paths.push_back(nodes_[j].path);
        }
        break;
      }
    }
    std::string value;
    for (const auto& path : paths) value += (value.empty() ? "" : ";") + path;
    return value;
  }

 private:
  std::vector<int> ChildrenOf(int index) const {
    std::vector<int> children;
    for (std::size_t j = 0; j < nodes_.size(); ++j) {
      if (nodes_[j].parent == index) children.push_back(static_cast<int>(j));
    }
    return children;
  }

  void CheckCalendar(int index) {
    const int root = RootOf(index);
    for (std::size_t j = 0; j < nodes_.size(); ++j) {
      const int node = static_cast<int>(j);
      if (node != root && RootOf(node) == root) nodes_[j].checked = node == index;
    }
    nodes_[static_cast<std::size_t>(root)].checked = true;
  }

  // The calendar folders below a folder, at any depth; a folder of another
  // kind is left out with everything below it.
  void AddCalendars(OlFolder& folder, int parent) {
    auto subfolders = Held(folder.Folders(), kind_.loadSource);
    for (auto sub = subfolders->GetFirst(); sub; sub = subfolders->GetNext()) {
      if (sub->DefaultItemType() != OlItemType::Appointment) continue;
      AddCalendars(*sub, AddNode(sub->Name(), parent, true, true));
    }
  }

  // The shared default calendar of every other host user with an e-mail
  // address, under a root named by the address. A user whose address does
  // not resolve, or whose calendar cannot be opened or read, is left out.
  void AddSharedCalendars(OlNameSpace& ns) {
    HostDatabase& db = Need(State().mDB, kind_.loadSource);
    const std::string me = Need(db.CurrentUser(), kind_.loadSource).Name();
    const int count = db.UserCount();
    for (int i = 0; i < count; ++i) {
      const std::size_t before = nodes_.size();
      const bool read = IgnoreError([&] {
        auto user = db.UserAt(i);
        if (!user || SameIdentifier(user->Name(), me) || !user->PropertyExists("EMail")) return;
        const std::string email = user->Property("EMail").ToText();
        if (email.empty()) return;
        auto recipient = ns.CreateRecipient(email);
        if (!recipient || !recipient->Resolve()) return;
        std::shared_ptr<OlFolder> calendar;
        IgnoreError([&] { calendar = ns.GetSharedDefaultFolder(recipient, kOlFolderCalendar); });
        if (!calendar) return;
        const int root = AddNode(email, -1, true, false);
        AddCalendars(*calendar, AddNode(calendar->Name(), root, true, true));
      });
      if (!read) nodes_.resize(before);
    }
  }

  // Checks the stored calendars (and their roots), one per mailbox, and
  // names those it could not find. Only a calendar below a root counts; a
  // second calendar of a mailbox that already has one is named too, since OK
  // keeps one per mailbox.
  void MarkStored() {
    std::vector<std::string> remaining;
    for (auto& entry : Split(StoredValue(), ';')) {
      if (!entry.empty()) remaining.push_back(std::move(entry));
    }
    std::vector<bool> rootTaken(nodes_.size(), false);
    for (std::size_t i = 0; i < nodes_.size() && !remaining.empty(); ++i) {
      if (nodes_[i].parent < 0) continue;
      const auto found = std::find(remaining.begin(), remaining.end(), nodes_[i].path);
      const auto root = static_cast<std::size_t>(RootOf(static_cast<int>(i)));
      if (found == remaining.end() || rootTaken[root]) continue;
      nodes_[i].checked = true;
      nodes_[root].checked = true;
      rootTaken[root] = true;
      remaining.erase(std::remove(remaining.begin(), remaining.end(), nodes_[i].path),
                      remaining.end());
    }
    if (remaining.empty()) return;
    std::string text = std::string(kGoneCalendars) + "\r\n";
    for (const auto& path : remaining) text += "\r\n" + path;
    ShowMessage(text, "", MsgButtons::Ok, MsgIcon::Exclamation);
  }
};

template <typename Dialog, typename... Args>
std::unique_ptr<FolderDialog> Loaded(Args&&... args) {
  auto dialog = std::make_unique<Dialog>(std::forward<Args>(args)...);
  dialog->Load();
  return dialog;
}

}  // namespace

std::unique_ptr<FolderDialog> CreateFrmAppointmentPath() {
  return Loaded<SingleFolderDialog>(kContactsKind);
}
std::unique_ptr<FolderDialog> CreateFrmTaskPath() { return Loaded<SingleFolderDialog>(kTasksKind); }
std::unique_ptr<FolderDialog> CreateFrmCalPath() { return Loaded<CalendarDialog>(); }

}  // namespace velklk
