#include "ui/qt/dialog_window.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QResizeEvent>
#include <QSizeGrip>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "platform/automation_error.h"

namespace velklk {
namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

QRect ToRect(const DialogRect& r) { return QRect(r.left, r.top, r.width, r.height); }

}  // namespace

DialogWindow::DialogWindow(DialogModel& model, QWidget* parent) : QDialog(parent), model_(model) {
  setObjectName(Q(model.Name()));
  setModal(true);
  const DialogLayout layout = model.Layout();
  if (layout.places.empty()) {
    BuildFlowing();
  } else {
    BuildPlaced(layout);
  }
  Sync();
}

void DialogWindow::CreateControls() {
  for (const DialogText& text : model_.Texts()) {
    auto* label = new QLabel(this);
    label->setObjectName(Q(text.name));
    label->setWordWrap(true);
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    texts_[text.name] = label;
  }
  if (model_.HasTree() || !model_.Nodes().empty()) {
    tree_ = new QTreeWidget(this);
    tree_->setObjectName("tree");
    tree_->setHeaderHidden(true);
    tree_->setColumnCount(1);
    connect(tree_, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem* item, int) {
      if (syncing_) return;
      const int index = item->data(0, Qt::UserRole).toInt();
      const bool checked = item->checkState(0) == Qt::Checked;
      const auto nodes = model_.Nodes();
      if (index < 0 || static_cast<std::size_t>(index) >= nodes.size() ||
          nodes[static_cast<std::size_t>(index)].checked == checked) {
        return;
      }
      Act([&] { model_.CheckNode(index, checked); });
    });
    // Selections, not the current item: a view that gets the focus makes
    // its first item current without the user choosing it.
    connect(tree_, &QTreeWidget::itemSelectionChanged, this, [this] {
      const auto selected = tree_->selectedItems();
      if (syncing_ || selected.isEmpty()) return;
      const int index = selected.front()->data(0, Qt::UserRole).toInt();
      if (index != model_.SelectedNode()) Act([&] { model_.SelectNode(index); });
    });
  }
  if (model_.HasList()) {
    list_ = new QListWidget(this);
    list_->setObjectName("list");
    connect(list_, &QListWidget::itemSelectionChanged, this, [this] {
      const auto selected = list_->selectedItems();
      const int row = selected.isEmpty() ? -1 : list_->row(selected.front());
      if (syncing_ || row == model_.SelectedEntry()) return;
      Act([&] { model_.SelectEntry(row); });
    });
  }
  if (model_.TextField()) {
    text_ = new QLineEdit(this);
    text_->setObjectName("text");
    connect(text_, &QLineEdit::textEdited, this, [this](const QString& typed) {
      if (syncing_) return;
      Act([&] { model_.SetText(typed.toStdString()); });
    });
  }
  for (const DialogButtonInfo& info : model_.Buttons()) {
    auto* button = new QPushButton(Q(info.caption), this);
    button->setObjectName(Q(info.name));
    button->setAutoDefault(false);
    button->setDefault(info.id == DialogButton::Ok);
    const DialogButton id = info.id;
    connect(button, &QPushButton::clicked, this, [this, id] { Act([&] { model_.Press(id); }); });
    buttons_.emplace_back(id, button);
    buttonsByName_[info.name] = button;
  }
}

// Controls where the dialog places them.
void DialogWindow::BuildPlaced(const DialogLayout& layout) {
  placed_ = true;
  resizable_ = layout.resizable;
  CreateControls();
  for (const DialogPlace& place : layout.places) {
    if (place.control == DialogPlace::Control::Grip && resizable_) {
      grip_ = new QSizeGrip(this);
      grip_->setObjectName("grip");
    }
  }
  if (resizable_) {
    setMinimumSize(layout.minWidth, layout.minHeight);
    resize(layout.width, layout.height);
    setSizeGripEnabled(false);
  } else {
    setFixedSize(layout.width, layout.height);
  }
  Place();
}

void DialogWindow::Place() {
  if (!placed_) return;
  for (const DialogPlace& place : model_.Layout().places) {
    QWidget* widget = nullptr;
    switch (place.control) {
      case DialogPlace::Control::Text:
        if (auto found = texts_.find(place.name); found != texts_.end()) widget = found->second;
        break;
      case DialogPlace::Control::Button:
        if (auto found = buttonsByName_.find(place.name); found != buttonsByName_.end()) {
          widget = found->second;
        }
        break;
      case DialogPlace::Control::Tree:
        widget = tree_;
        break;
      case DialogPlace::Control::List:
        widget = list_;
        break;
      case DialogPlace::Control::TextField:
        widget = text_;
        break;
      case DialogPlace::Control::Grip:
        widget = grip_;
        break;
    }
    if (widget != nullptr) widget->setGeometry(ToRect(place.rect));
  }
}

// Controls one below the other, the buttons in a row at the bottom.
void DialogWindow::BuildFlowing() {
  CreateControls();
  auto* column = new QVBoxLayout(this);
  for (const DialogText& text : model_.Texts()) column->addWidget(texts_[text.name]);
  if (tree_ != nullptr) column->addWidget(tree_, 1);
  if (list_ != nullptr) column->addWidget(list_, 1);
  if (text_ != nullptr) column->addWidget(text_);
  auto* row = new QHBoxLayout;
  row->addStretch(1);
  for (const auto& [id, button] : buttons_) row->addWidget(button);
  column->addLayout(row);
  resize(std::max(sizeHint().width(), 380), std::max(sizeHint().height(), 320));
}

void DialogWindow::BuildTree() {
  tree_->clear();
  items_.clear();
  itemPaths_.clear();
  const auto nodes = model_.Nodes();
  const bool checkable = model_.Checkable();
  for (std::size_t i = 0; i < nodes.size(); ++i) {
    const DialogNode& node = nodes[i];
    QTreeWidgetItem* item = nullptr;
    if (node.parent >= 0 && static_cast<std::size_t>(node.parent) < items_.size()) {
      item = new QTreeWidgetItem(items_[static_cast<std::size_t>(node.parent)]);
    } else {
      item = new QTreeWidgetItem(tree_);
    }
    item->setText(0, Q(node.text));
    item->setData(0, Qt::UserRole, static_cast<int>(i));
    if (checkable) item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    items_.push_back(item);
    itemPaths_.push_back(node.path);
  }
  for (std::size_t i = 0; i < nodes.size(); ++i) items_[i]->setExpanded(nodes[i].expanded);
}

void DialogWindow::Sync() {
  syncing_ = true;
  setWindowTitle(Q(model_.Caption()));
  for (const DialogText& text : model_.Texts()) {
    if (auto found = texts_.find(text.name); found != texts_.end()) {
      found->second->setText(Q(text.text));
    }
  }
  for (const DialogButtonInfo& info : model_.Buttons()) {
    if (auto found = buttonsByName_.find(info.name); found != buttonsByName_.end()) {
      found->second->setText(Q(info.caption));
      found->second->setEnabled(info.enabled);
    }
  }
  if (tree_ != nullptr) {
    const auto nodes = model_.Nodes();
    std::vector<std::string> paths;
    for (const DialogNode& node : nodes) paths.push_back(node.path);
    if (paths != itemPaths_) BuildTree();
    const bool checkable = model_.Checkable();
    for (std::size_t i = 0; i < nodes.size(); ++i) {
      QFont font = items_[i]->font(0);
      font.setBold(nodes[i].bold);
      items_[i]->setFont(0, font);
      if (checkable) items_[i]->setCheckState(0, nodes[i].checked ? Qt::Checked : Qt::Unchecked);
    }
    const int selected = model_.SelectedNode();
    if (selected >= 0 && static_cast<std::size_t>(selected) < items_.size()) {
      tree_->setCurrentItem(items_[static_cast<std::size_t>(selected)]);
    } else {
      tree_->clearSelection();
    }
  }
  if (list_ != nullptr) {
    const auto entries = model_.Entries();
    if (entries != entries_) {
      list_->clear();
      for (const auto& entry : entries) list_->addItem(Q(entry));
      entries_ = entries;
    }
    const int selected = model_.SelectedEntry();
    if (selected >= 0) {
      list_->setCurrentRow(selected);
    } else {
      list_->clearSelection();
    }
  }
  if (text_ != nullptr) {
    const QString value = Q(model_.TextField().value_or(""));
    if (text_->text() != value) text_->setText(value);
  }
  Place();
  syncing_ = false;
  if (!model_.IsOpen() && !finished_) {
    finished_ = true;
    done(QDialog::Accepted);
  }
}

template <typename Action>
void DialogWindow::Act(Action&& action) {
  if (syncing_ || finished_) return;
  try {
    action();
  } catch (const std::exception&) {
    // Carried out of Qt's event loop and raised again by Run().
    error_ = std::current_exception();
    if (model_.IsOpen()) IgnoreError([&] { model_.Press(DialogButton::Close); });
  }
  Sync();
}

void DialogWindow::reject() {
  Act([&] { model_.Press(DialogButton::Close); });
}

void DialogWindow::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  if (resizable_) Act([&] { model_.Resize(event->size().width(), event->size().height()); });
}

void DialogWindow::Run() {
  if (model_.IsOpen()) exec();
  if (error_) std::rethrow_exception(error_);
}

}  // namespace velklk
