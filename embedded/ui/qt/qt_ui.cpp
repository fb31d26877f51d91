#include "ui/qt/qt_ui.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QTranslator>
#include <QVBoxLayout>
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <vector>

#include "platform/automation_error.h"
#include "ui/item_summary.h"
#include "ui/qt/dialog_window.h"

namespace velklk {
namespace {

// Qt keeps references to these for the life of the application object.
int gArgc = 1;
char gProgram[] = "velklk";
char* gArgv[] = {gProgram, nullptr};

QString Q(const std::string& text) { return QString::fromStdString(text); }

// Message texts break lines with CR LF; a window breaks them with LF.
QString Lines(const std::string& text) {
  QString shown = Q(text);
  shown.replace("\r\n", "\n");
  shown.replace('\r', '\n');
  return shown;
}

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value == nullptr ? std::string() : std::string(value);
}

// True when a child process could create the application object: Qt ends a
// process whose display or platform plugin does not work, so it is tried
// where that does no harm.
bool ApplicationStarts() {
  const pid_t child = ::fork();
  if (child < 0) return false;
  if (child == 0) {
    const int null = ::open("/dev/null", O_WRONLY);
    if (null >= 0) {
      ::dup2(null, STDOUT_FILENO);
      ::dup2(null, STDERR_FILENO);
    }
    int argc = 1;
    QGuiApplication probe(argc, gArgv);
    ::_exit(0);
  }
  int status = 0;
  while (::waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) return false;
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

QMessageBox::Icon IconOf(MsgIcon icon) {
  switch (icon) {
    case MsgIcon::Critical:
      return QMessageBox::Critical;
    case MsgIcon::Exclamation:
      return QMessageBox::Warning;
    case MsgIcon::Information:
      return QMessageBox::Information;
    case MsgIcon::Question:
      return QMessageBox::Question;
    case MsgIcon::None:
      break;
  }
  return QMessageBox::NoIcon;
}

QWidget* ActiveWindow() { return QApplication::activeModalWidget(); }

// The language of Qt's translation files for a catalogue language.
std::string QtLanguage(const std::string& language) {
  if (language == "1031") return "de";
  if (language == "2057") return "en";
  return language;
}

}  // namespace

std::string WindowProblem() {
  if (QCoreApplication::instance() != nullptr) return {};
  const std::string platform = Env("QT_QPA_PLATFORM");
  if (platform.empty() && Env("DISPLAY").empty() && Env("WAYLAND_DISPLAY").empty()) {
    return "no display for --ui qt: DISPLAY is not set (set QT_QPA_PLATFORM=offscreen to run "
           "without a screen)";
  }
  if (!ApplicationStarts()) {
    const std::string display = Env("DISPLAY");
    return "windows cannot be opened for --ui qt: the Qt platform '" +
           (platform.empty() ? std::string("default") : platform) + "'" +
           (display.empty() ? std::string() : " on display '" + display + "'") + " does not start";
  }
  return {};
}

struct QtUserInterface::Impl {
  std::unique_ptr<QApplication> ownApp;
  // Windows that stay open after their call (non-modal items, explorers).
  std::vector<std::unique_ptr<QWidget>> windows;
  ProgressLimiter limiter{std::chrono::milliseconds(500), std::chrono::milliseconds(100)};
  std::unique_ptr<QProgressDialog> progress;
  // Qt's own texts in the catalogue's language, while this object lives.
  std::unique_ptr<QTranslator> translator;
  std::string translationProblem;
};

QtUserInterface::QtUserInterface(const std::string& language) : impl_(std::make_unique<Impl>()) {
  if (QCoreApplication::instance() == nullptr) {
    impl_->ownApp = std::make_unique<QApplication>(gArgc, gArgv);
  }
  // Qt's own texts are English: only another language needs its translations.
  const std::string qtLanguage = QtLanguage(language);
  if (qtLanguage == "en") return;
  const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
  const QString file = "qtbase_" + Q(qtLanguage);
  auto translator = std::make_unique<QTranslator>();
  if (translator->load(file, folder) && QCoreApplication::installTranslator(translator.get())) {
    impl_->translator = std::move(translator);
  } else {
    impl_->translationProblem = "Qt's translations " + file.toStdString() + " were not found in " +
                                folder.toStdString() +
                                " (package qt6-translations-l10n): Qt's own texts stay English";
  }
}

QtUserInterface::~QtUserInterface() {
  impl_->progress.reset();
  impl_->windows.clear();
  if (impl_->translator) QCoreApplication::removeTranslator(impl_->translator.get());
  impl_->translator.reset();
  impl_->ownApp.reset();
}

std::string QtUserInterface::TranslationProblem() const { return impl_->translationProblem; }

MsgAnswer QtUserInterface::MessageBox(const MessageBoxRequest& request) {
  QMessageBox box(ActiveWindow());
  box.setObjectName("msgbox");
  box.setIcon(IconOf(request.icon));
  box.setWindowTitle(Q(request.title));
  box.setTextFormat(Qt::PlainText);
  box.setText(Lines(request.text));
  std::vector<std::pair<QPushButton*, MsgAnswer>> buttons;
  switch (request.buttons) {
    case MsgButtons::Ok:
      buttons.emplace_back(box.addButton(QMessageBox::Ok), MsgAnswer::Ok);
      break;
    case MsgButtons::OkCancel:
      buttons.emplace_back(box.addButton(QMessageBox::Ok), MsgAnswer::Ok);
      buttons.emplace_back(box.addButton(QMessageBox::Cancel), MsgAnswer::Cancel);
      break;
    case MsgButtons::YesNo:
      buttons.emplace_back(box.addButton(QMessageBox::Yes), MsgAnswer::Yes);
      buttons.emplace_back(box.addButton(QMessageBox::No), MsgAnswer::No);
      break;
  }
  const std::size_t position = request.defaultButton == 2 && buttons.size() > 1 ? 1 : 0;
  box.setDefaultButton(buttons[position].first);
  box.exec();
  for (const auto& [button, answer] : buttons) {
    if (box.clickedButton() == button) return answer;
  }
  // Closed without a button (Escape): the box's escape button, else OK.
  return buttons.size() > 1 ? buttons.back().second : MsgAnswer::Ok;
}

void QtUserInterface::DoEvents() { QCoreApplication::processEvents(); }

void QtUserInterface::Progress(const std::string& task, long done, long total) {
  if (!impl_->limiter.Due()) return;
  if (!impl_->progress) {
    impl_->progress = std::make_unique<QProgressDialog>(ActiveWindow());
    QProgressDialog& window = *impl_->progress;
    window.setObjectName("progress");
    window.setWindowTitle("Velmora Kestrelink");
    window.setCancelButton(nullptr);
    window.setWindowModality(Qt::ApplicationModal);
    window.setMinimumDuration(0);
    window.setAutoClose(false);
    window.setAutoReset(false);
  }
  QProgressDialog& window = *impl_->progress;
  const auto clamp = [](long n) { return static_cast<int>(std::clamp<long>(n, 0, INT_MAX)); };
  window.setLabelText(Q(task));
  window.setMaximum(clamp(std::max(total, done)));
  window.setValue(clamp(done));
  window.show();
  QCoreApplication::processEvents();
}

void QtUserInterface::ProgressEnd() {
  impl_->progress.reset();
  impl_->limiter.End();
}

void QtUserInterface::SetProgressClock(ProgressLimiter::Clock clock) {
  impl_->limiter.SetClock(std::move(clock));
}

void QtUserInterface::DisplayItem(const std::shared_ptr<OlItem>& item, bool modal) {
  if (!item) {
    throw AutomationError(err::kObjectVariableNotSet, "velKLK.UserInterface",
                          "Object variable or With block variable not set (item to display)");
  }
  const ItemSummary summary = SummarizeItem(*item);
  std::string text = summary.className;
  if (summary.subject) text += "\n" + *summary.subject;
  if (summary.fileAs) text += "\n" + *summary.fileAs;
  if (summary.velSearch) text += "\n" + *summary.velSearch;
  auto window = std::make_unique<QMessageBox>(QMessageBox::NoIcon, "Outlook", Q(text),
                                              QMessageBox::Close, ActiveWindow());
  window->setObjectName("item");
  window->setTextFormat(Qt::PlainText);
  if (modal) {
    window->exec();
    return;
  }
  window->setModal(false);
  window->show();
  impl_->windows.push_back(std::move(window));
}

void QtUserInterface::ShowDialog(DialogModel& dialog) {
  DialogWindow window(dialog, ActiveWindow());
  window.Run();
}

void QtUserInterface::ShowExplorer(const std::string& folderPath, int windowState) {
  auto window = std::make_unique<QWidget>();
  window->setObjectName("explorer");
  window->setWindowTitle("Outlook - " + Q(folderPath));
  auto* layout = new QVBoxLayout(window.get());
  layout->addWidget(new QLabel(Q(folderPath), window.get()));
  window->resize(480, 320);
  // Outlook's window states: 0 maximized, 1 minimized, 2 normal.
  if (windowState == 0) {
    window->showMaximized();
  } else if (windowState == 1) {
    window->showMinimized();
  } else {
    window->show();
  }
  impl_->windows.push_back(std::move(window));
}

}  // namespace velklk
