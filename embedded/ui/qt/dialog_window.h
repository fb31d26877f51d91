// The window of one dialog: renders a DialogModel and turns the user's
// clicks, check boxes, selections and typing into the model's actions; after
// each action it shows the model's state again and closes when the model is
// closed. Controls are named after the model's controls (texts and buttons
// by their names, "tree", "list" and "text" for the others), so that tests
// find them.
#pragma once

#include <QDialog>
#include <exception>
#include <map>
#include <vector>

#include "platform/dialog.h"

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QSizeGrip;
class QTreeWidget;
class QTreeWidgetItem;

namespace velklk {

class DialogWindow final : public QDialog {
 public:
  DialogWindow(DialogModel& model, QWidget* parent);

  // Shows the window modally until the model is closed; raises again the
  // error an action of the model raised.
  void Run();

 protected:
  // Escape and the window's close box: the model's close box.
  void reject() override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  template <typename Action>
  void Act(Action&& action);
  void BuildPlaced(const DialogLayout& layout);
  void BuildFlowing();
  void CreateControls();
  void BuildTree();
  void Sync();
  void Place();

  DialogModel& model_;
  bool placed_ = false;
  bool resizable_ = false;
  std::map<std::string, QLabel*> texts_;
  std::vector<std::pair<DialogButton, QPushButton*>> buttons_;
  std::map<std::string, QPushButton*> buttonsByName_;
  QTreeWidget* tree_ = nullptr;
  std::vector<QTreeWidgetItem*> items_;
  std::vector<std::string> itemPaths_;
  QListWidget* list_ = nullptr;
  std::vector<std::string> entries_;
  QLineEdit* text_ = nullptr;
  QSizeGrip* grip_ = nullptr;
  std::exception_ptr error_;
  bool syncing_ = false;
  bool finished_ = false;
};

}  // namespace velklk
