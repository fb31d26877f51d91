// The dialogs as windows, offscreen: a scripted user clicks, checks, types
// and uses access keys on the real widgets while the add-in's commands run;
// the model must see those actions, and the widgets must show what the
// model then holds. Writes a picture of every dialog and of a question box
// (German and English) and of XPFrame (themed and classic) into
// <build>/screenshots.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFontDatabase>
#include <QFontInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QSet>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <chrono>
#include <filesystem>
#include <functional>

#include "dialog_fixture.h"
#include "dialogs/dialogs.h"
#include "session/startup.h"
#include "ui/qt/qt_ui.h"
#include "ui/qt/xp_frame_widget.h"

namespace velklk::test {
namespace {

// A user at the screen: takes one step at a time on the dialog window in
// front, answers every message box with its default button (noting its
// text), and closes a dialog that is still open when the steps run out.
using Step = std::function<void(QWidget&)>;

class User {
 public:
  explicit User(std::vector<Step> steps) : steps_(std::move(steps)) {
    QObject::connect(&boxes_, &QTimer::timeout, [this] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (box == nullptr) return;
      boxTexts.push_back(box->text().toStdString());
      box->defaultButton()->click();
    });
    QObject::connect(&steps_timer_, &QTimer::timeout, [this] {
      QWidget* window = QApplication::activeModalWidget();
      if (window == nullptr || qobject_cast<QMessageBox*>(window) != nullptr) return;
      if (next_ < steps_.size()) {
        steps_[next_++](*window);
      } else {
        window->close();
      }
    });
  }
  void Run(const std::function<void()>& show) {
    boxes_.start(1);
    steps_timer_.start(1);
    show();
    boxes_.stop();
    steps_timer_.stop();
    EXPECT_EQ(next_, steps_.size()) << "steps left undone";
  }
  std::vector<std::string> boxTexts;

 private:
  std::vector<Step> steps_;
  std::size_t next_ = 0;
  QTimer boxes_;
  QTimer steps_timer_;
};

template <typename W>
W& Find(QWidget& window, const char* name) {
  if (auto* widget = window.findChild<W*>(name)) return *widget;
  throw std::runtime_error(std::string("no widget ") + name);
}

QTreeWidgetItem& Item(QWidget& window, const std::string& path) {
  for (QTreeWidgetItemIterator it(&Find<QTreeWidget>(window, "tree")); *it != nullptr; ++it) {
    QString full = (*it)->text(0);
    for (auto* up = (*it)->parent(); up != nullptr; up = up->parent())
      full.prepend(up->text(0) + "\\");
    if (full.toStdString() == path) return **it;
  }
  throw std::runtime_error("no tree item " + path);
}

Step Select(std::string path) {
  return [=](QWidget& w) { Find<QTreeWidget>(w, "tree").setCurrentItem(&Item(w, path)); };
}
Step Check(std::string path) {
  return [=](QWidget& w) { Item(w, path).setCheckState(0, Qt::Checked); };
}
Step Click(const char* name) {
  return [=](QWidget& w) { Find<QPushButton>(w, name).click(); };
}
Step Type(const char* text) {
  return [=](QWidget& w) { QTest::keyClicks(&Find<QLineEdit>(w, "text"), text); };
}
Step Row(const char* text) {
  return [=](QWidget& w) {
    Find<QListWidget>(w, "list").setCurrentItem(
        Find<QListWidget>(w, "list").findItems(text, Qt::MatchExactly).at(0));
  };
}
// A key press as the window system delivers it (shortcuts first); a button
// pressed by its access key clicks a moment later.
Step AltKey(Qt::Key key) {
  return [=](QWidget& w) {
    QApplication::setActiveWindow(&w);
    QTest::keyClick(w.windowHandle(), key, Qt::AltModifier);
    QTest::qWait(250);
  };
}

// The desk with the windows as its user interface.
struct WindowDesk {
  explicit WindowDesk(const std::string& language = "de") : ui(language), desk(DialogFixture()) {
    ResetState(desk.profile().Services(&ui, language));
  }
  // A dialog as its command opens it.
  void OpenState() {
    ASSERT_TRUE(InitVelData(desk.host().Application(), false));
    desk.state().mOlNameSpace = desk.outlook().Application()->GetNamespace("MAPI");
  }
  std::string Setting(const char* key) {
    return desk.host().Database()->CurrentUser()->Settings()->Value(key).ToText();
  }
  QtUserInterface ui;
  Desk desk;
};

TEST(QtDialogs, TheFourCommandsRunInWindows) {
  WindowDesk w;
  User tasks({Select("anna@example.com"), Click("cmdOK"),
              Select("anna@example.com\\Aufgaben\\Projekt"), Click("cmdOK")});
  tasks.Run([&] { EXPECT_TRUE(w.desk.Call("velKLK.CSync", "SelectOlTaskPath").True()); });
  EXPECT_EQ(tasks.boxTexts,
            std::vector<std::string>{"Wählen Sie bitte einen AUFGABEN-Ordner aus!"});
  EXPECT_EQ(w.Setting("PREXOLTaskPath"), "anna@example.com\\Aufgaben\\Projekt");

  User contacts({Select("anna@example.com\\Kontakte\\Privat"), AltKey(Qt::Key_O)});  // "&OK"
  contacts.Run([&] { EXPECT_TRUE(w.desk.Call("velKLK.CSync", "SelectOlContactPath").True()); });
  EXPECT_EQ(w.Setting("PREXOLContactPath"), "anna@example.com\\Kontakte\\Privat");

  User calendars({Check("anna@example.com\\Kalender\\Team"), Click("cmdOK")});
  calendars.Run([&] { w.desk.Call("velKLK.CSync", "SelectOLAppointmentPath"); });
  EXPECT_EQ(w.Setting("PREXOLCalPath"),
            "anna@example.com\\Kalender\\Team;ben@example.com\\Kalender");

  User types(
      {Type("Besuch"), AltKey(Qt::Key_N), Row("Termin"), Click("cmdDelete"), Click("cmdSave")});
  types.Run([&] { w.desk.Call("velKLK.CSync", "ConfigAppintmentTypes"); });
  EXPECT_EQ(w.desk.host().Database()->GlobalValue(kAppointmentTypeList),
            Variant(VariantList{Variant("Termin beim Kunden"), Variant("Termin im Büro"),
                                Variant("Besuch")}));
  EXPECT_TRUE(types.boxTexts.empty());
}

TEST(QtDialogs, TheModelSeesWhatTheWidgetsDoAndTheWidgetsShowTheModel) {
  WindowDesk w;
  w.OpenState();
  auto calendars = CreateFrmCalPath();
  const auto checked = [](QWidget& win, const char* path) {
    return Item(win, path).checkState(0) == Qt::Checked;
  };
  User user({Check("ben@example.com\\Urlaub"),
             [&](QWidget& win) {  // the check rule reached the other check boxes
               EXPECT_FALSE(checked(win, "ben@example.com\\Kalender"));
               EXPECT_TRUE(checked(win, "ben@example.com"));
               win.resize(win.width() + 120, win.height() + 60);
             },
             [&](QWidget& win) {  // resized by the dialog's rule
               EXPECT_EQ(Find<QTreeWidget>(win, "tree").width(),
                         calendars->Layout().places[1].rect.width);
               EXPECT_EQ(Find<QPushButton>(win, "cmdCancel").geometry().right(), win.width() - 13);
             },
             Select("anna@example.com\\Kalender\\Team"), Click("cmdOK")});
  user.Run([&] { w.ui.ShowDialog(*calendars); });
  // The check reached the model, the selection checked nothing.
  EXPECT_EQ(w.Setting("PREXOLCalPath"), "anna@example.com\\Kalender;ben@example.com\\Urlaub");
}

TEST(QtDialogs, MessageBoxesShowTheIconButtonsAndDefaultAskedFor) {
  QtUserInterface ui("de");
  QTimer::singleShot(0, [] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->icon(), QMessageBox::Question);
    EXPECT_EQ(box->windowTitle() + "|" + box->text(), "Titel|Frage?\nZweite Zeile");
    EXPECT_EQ(box->defaultButton(), box->button(QMessageBox::No));
    box->button(QMessageBox::Yes)->click();
  });
  EXPECT_EQ(
      ui.MessageBox({"Frage?\r\nZweite Zeile", "Titel", MsgButtons::YesNo, MsgIcon::Question, 2}),
      MsgAnswer::Yes);
}

// A run's progress window: none in the first half second, then the count
// of the last step shown, closed when the run ends.
TEST(QtDialogs, ProgressWindowShowsALongRunAndClosesAtItsEnd) {
  QtUserInterface ui("de");
  std::chrono::steady_clock::time_point now{};
  ui.SetProgressClock([&] { return now; });
  auto window = [] {
    QProgressDialog* found = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets()) {
      if (w->objectName() == "progress" && w->isVisible())
        found = qobject_cast<QProgressDialog*>(w);
    }
    return found;
  };
  for (long done = 0; done <= 700; ++done, now += std::chrono::milliseconds(1)) {
    ui.Progress("Kontakte aus Outlook abgleichen", done, 1000);
    if (done == 400) {
      EXPECT_EQ(window(), nullptr);
    }
  }
  ASSERT_NE(window(), nullptr);
  EXPECT_EQ(window()->labelText(), "Kontakte aus Outlook abgleichen");
  EXPECT_EQ(window()->maximum(), 1000);
  EXPECT_EQ(window()->value(), 700);
  ui.ProgressEnd();
  EXPECT_EQ(window(), nullptr);
}

// True when the picture holds more than a background and one line colour.
bool Drawn(const QImage& image) {
  QSet<QRgb> colours;
  for (int y = 0; y < image.height(); y += 2) {
    for (int x = 0; x < image.width(); x += 2) colours.insert(image.pixel(x, y));
  }
  return colours.size() > 4;
}

TEST(QtDialogs, ScreenshotsOfEveryDialogAndOfTheFrame) {
  const std::filesystem::path folder = VELKLK_SCREENSHOTS;
  std::filesystem::create_directories(folder);
  ASSERT_FALSE(QFontDatabase::families().isEmpty()) << "no font installed";
  ASSERT_FALSE(QFontInfo(QApplication::font()).family().isEmpty()) << "no font found";
  const auto shot = [&](const std::string& name) {
    return [=](QWidget& win) {
      const QImage image = win.grab().toImage();
      EXPECT_TRUE(Drawn(image)) << name;
      EXPECT_TRUE(image.save(QString::fromStdString((folder / (name + ".png")).string())));
    };
  };
  for (const std::string language : {"de", "en"}) {
    WindowDesk w(language);
    w.OpenState();
    std::unique_ptr<FolderDialog> pickers[] = {CreateFrmAppointmentPath(), CreateFrmCalPath(),
                                               CreateFrmTaskPath()};
    for (auto& picker : pickers) {
      picker->init(true);
      User user({shot(picker->Name() + "-" + language)});
      user.Run([&] { w.ui.ShowDialog(*picker); });
    }
    auto types = CreateFrmTerminTypConfig();
    types->init();
    User user({Row("Termin beim Kunden"), shot("frmTerminTypConfig-" + language)});
    user.Run([&] { w.ui.ShowDialog(*types); });

    // Qt's standard buttons speak the catalogue's language too.
    EXPECT_EQ(w.ui.TranslationProblem(), "");
    std::vector<std::string> buttons;  // the texts of each box's buttons, in order
    const auto answer = [&](bool picture) {
      QTimer::singleShot(0, [&, picture] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        std::string texts;
        for (QAbstractButton* button : box->buttons())
          texts += (texts.empty() ? "" : "|") + button->text().remove('&').toStdString();
        buttons.push_back(texts);
        if (picture) shot("msgbox-question-" + language)(*box);
        box->defaultButton()->click();
      });
    };
    const bool de = language == "de";
    answer(true);
    EXPECT_EQ(w.ui.MessageBox(
                  {de ? "Sollen die Kontakte gelöscht werden?" : "Should the contacts be deleted?",
                   "Velmora Kestrelink", MsgButtons::YesNo, MsgIcon::Question, 2}),
              MsgAnswer::No);
    answer(false);
    w.ui.MessageBox({"?", "Velmora Kestrelink", MsgButtons::OkCancel, MsgIcon::None, 1});
    const std::vector<std::string> expected =
        de ? std::vector<std::string>{"Ja|Nein", "OK|Abbrechen"}
           : std::vector<std::string>{"Yes|No", "OK|Cancel"};
    EXPECT_EQ(buttons, expected);
  }
  for (const bool themed : {true, false}) {
    XPFrameWidget frame("Frame1", themed);
    frame.Frame().SetCaption("&Adresse");
    frame.resize(240, 120);
    const std::string name = std::string("XPFrame-") + (themed ? "themed" : "classic");
    shot(name)(frame);
    frame.Frame().SetEnabled(false);
    EXPECT_FALSE(frame.isEnabled());
  }
}

}  // namespace
}  // namespace velklk::test

int main(int argc, char** argv) {
  // Windows without a screen, whatever the environment says.
  qputenv("QT_QPA_PLATFORM", "offscreen");
  ::testing::InitGoogleTest(&argc, argv);
  QApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
