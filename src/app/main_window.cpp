#include "app/main_window.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QIcon>
#include <QLayout>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QSpinBox>

#include "app/application.h"
#include "app/drawings.h"
#include "app/form_view.h"
#include "app/qt_text.h"
#include "window/form1.h"

namespace eb::app {

namespace {}  // namespace

MainWindow::MainWindow(Form1& form, QWidget* parent) : QMainWindow(parent), form_(form) {
  gate_.afterEvent = [this] { AfterEvent(); };
  view_ = new FormView(form_.ui, gate_, this);
  setCentralWidget(view_);
  setWindowIcon(AppIcon());

  QMenu* datalog = menuBar()->addMenu(tr("&Datalog"));
  QAction* setup = datalog->addAction(tr("&Setup…"));
  setup->setStatusTip(tr("Number of samples and spreadsheet file of the datalog"));
  connect(setup, &QAction::triggered, this, &MainWindow::SetupDatalog);

  timer_.setTimerType(Qt::PreciseTimer);
  connect(&timer_, &QTimer::timeout, this, &MainWindow::Tick);
  layout()->setSizeConstraint(QLayout::SetFixedSize);
  layout()->activate();
  Sync();
}

MainWindow::~MainWindow() = default;

void MainWindow::Start() {
  gate_.Run([this] { form_.Form_Load(); });
}

void MainWindow::Tick() {
  if (closing_) return;
  gate_.Run([this] {
    // The timer control's event is its tick handler.
    if (form_.Timer1.enabled && !form_.Unloaded) form_.Timer1.click();
  });
}

void MainWindow::RequestClose() { closeRequested_ = true; }

void MainWindow::Sync() {
  view_->Sync();
  const QString title = ToQString(form_.ui.caption);
  if (windowTitle() != title) setWindowTitle(title);
  const bool run = form_.Timer1.enabled && !form_.Unloaded && !closing_;
  const int interval = form_.Timer1.interval > 0 ? form_.Timer1.interval : 100;
  if (timer_.interval() != interval) timer_.setInterval(interval);
  if (run && !timer_.isActive()) {
    timer_.start();
  } else if (!run && timer_.isActive()) {
    timer_.stop();
  }
}

void MainWindow::AfterEvent() {
  Sync();
  if (closeRequested_ && !closing_) {
    closing_ = true;
    timer_.stop();
    close();
  }
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (!closing_) {
    // The operator closes the window; not while a handler runs (a message
    // box is open).
    if (gate_.busy()) {
      event->ignore();
      return;
    }
    closing_ = true;
    timer_.stop();
    gate_.Run([this] { form_.Form_Unload(); });
  }
  closed_ = true;
  timer_.stop();
  event->accept();
}

void MainWindow::SetupDatalog() {
  if (gate_.busy() || closing_) return;
  QDialog dialog(this);
  dialog.setWindowTitle(tr("Datalog setup"));
  auto* form = new QFormLayout(&dialog);
  auto* samples = new QSpinBox(&dialog);
  samples->setRange(1, 1000);
  samples->setValue(form_.SAMPLEpoints > 0 ? std::min<int>(form_.SAMPLEpoints, 1000) : 100);
  form->addRow(tr("Number of samples:"), samples);

  auto* fileRow = new QHBoxLayout;
  auto* file = new QLineEdit(&dialog);
  file->setMinimumWidth(320);
  file->setText(form_.NewFile.empty()
                    ? QDir(QDir::homePath()).filePath(QStringLiteral("eb2250_datalog.xlsx"))
                    : ToQString(form_.NewFile));
  auto* browse = new QPushButton(tr("Browse…"), &dialog);
  fileRow->addWidget(file);
  fileRow->addWidget(browse);
  form->addRow(tr("Spreadsheet file:"), fileRow);
  auto* csv =
      new QCheckBox(tr("Also write a CSV file of the samples beside the workbook"), &dialog);
  csv->setChecked(form_.CSVflag == 1);
  form->addRow(QString(), csv);
  connect(browse, &QPushButton::clicked, &dialog, [&dialog, file] {
    const QString chosen = QFileDialog::getSaveFileName(&dialog, tr("Datalog file"), file->text(),
                                                        tr("Spreadsheet (*.xlsx)"));
    if (!chosen.isEmpty()) file->setText(chosen);
  });

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
  form->addRow(buttons);
  connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);

  while (dialog.exec() == QDialog::Accepted) {
    // A new setup empties the ring: samples not yet exported with STOP are
    // only given up when the operator says so.
    if (form_.DATACOLLECTflag == 1 && (form_.DATApoint > 1 || form_.CYCLEflag == 1)) {
      const auto answer = QMessageBox::question(
          this, windowTitle(),
          tr("The current datalog holds samples that have not been saved with STOP. "
             "Discard them and set up a new datalog?"),
          QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
      if (answer != QMessageBox::Yes) continue;
    }
    std::string problem;
    const int count = samples->value();
    const std::string path = file->text().toStdString();
    const bool withCsv = csv->isChecked();
    if (!gate_.Run([&] { problem = form_.SetupDatalog(count, path, withCsv); })) return;
    if (problem.empty() || closing_) return;
    QMessageBox::warning(this, windowTitle(), ToQString(problem));
  }
}

}  // namespace eb::app
