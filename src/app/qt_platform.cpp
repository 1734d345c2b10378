#include "app/qt_platform.h"

#include <QDesktopServices>
#include <QMessageBox>
#include <QUrl>
#include <ostream>

#include "app/main_window.h"
#include "app/qt_text.h"
#include "sheet/datalog_folder.h"

namespace eb::app {

QtPlatform::QtPlatform(Boxes boxes, std::ostream& log) : mode_(boxes), log_(log) {}

void QtPlatform::Attach(MainWindow* window) {
  window_ = window;
  if (window_ != nullptr && unloadPending_) window_->RequestClose();
}

namespace {

// A box stands over the window when it shows, titled as it is.
QWidget* BoxParent(MainWindow* window) {
  return window != nullptr && window->isVisible() ? window : nullptr;
}

QString BoxTitle(const MainWindow* window) {
  return window != nullptr && !window->windowTitle().isEmpty() ? window->windowTitle()
                                                               : QStringLiteral("EB2250");
}

}  // namespace

void QtPlatform::MsgBox(const std::string& text) {
  ++boxCount_;
  if (divert_) {
    log_ << "eb2250-gui: message box (control socket): " << text << std::endl;
    divert_(text);
    return;
  }
  if (mode_ == Boxes::AnswerAtOnce) {
    log_ << "eb2250-gui: message box: " << text << std::endl;
    return;
  }
  // The window shows the state the handler has reached behind the box.
  if (window_ != nullptr) window_->Sync();
  QMessageBox box(QMessageBox::NoIcon, BoxTitle(window_), ToQString(text), QMessageBox::Ok,
                  BoxParent(window_));
  box.setDefaultButton(QMessageBox::Ok);
  box.exec();
}

void QtPlatform::Notice(const std::string& text) {
  log_ << "eb2250-gui: " << text << std::endl;
  if (mode_ == Boxes::AnswerAtOnce || divert_) return;
  auto* box = new QMessageBox(QMessageBox::Information, BoxTitle(window_), ToQString(text),
                              QMessageBox::Ok, BoxParent(window_));
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->setModal(false);
  box->show();
}

void QtPlatform::Unload() {
  if (window_ != nullptr) {
    window_->RequestClose();
  } else {
    unloadPending_ = true;
  }
}

std::chrono::system_clock::time_point QtPlatform::Now() { return std::chrono::system_clock::now(); }

void QtPlatform::ShellOpen(const std::string& path) {
  QDesktopServices::openUrl(QUrl::fromLocalFile(ToQString(path)));
}

// The stop export goes to the datalog folder: the one chosen with
// --datalog-dir, or beside the program, falling back to the documents
// folder, then home, when that folder is not writable (an installed program).
std::string QtPlatform::AppDirectory() { return datalog::CurrentDatalogFolder(datalogFolder_); }

}  // namespace eb::app
