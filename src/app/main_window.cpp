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
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QSpinBox>

#include "app/application.h"
#include "app/command_line.h"
#include "app/drawings.h"
#include "app/form_view.h"
#include "app/qt_text.h"
#include "app/recording_dialogs.h"
#include "app/trend_window.h"
#include "window/form1.h"
#include "window/setup.h"

namespace eb::app {

namespace {}  // namespace

MainWindow::MainWindow(Form1& form, QWidget* parent) : QMainWindow(parent), form_(form) {
  // Wall-clock time that never runs backwards: the start's date and time,
  // then the steady clock.
  trendClock_ = [start = std::chrono::system_clock::now(),
                 steady = std::chrono::steady_clock::now()] {
    return start + std::chrono::duration_cast<std::chrono::system_clock::duration>(
                       std::chrono::steady_clock::now() - steady);
  };
  gate_.afterEvent = [this] { AfterEvent(); };
  view_ = new FormView(form_.ui, gate_, this);
  setCentralWidget(view_);
  setWindowIcon(AppIcon());

  QMenu* file = menuBar()->addMenu(tr("&File"));
  QAction* saveSetup = file->addAction(tr("&Save setup…"));
  saveSetup->setStatusTip(tr("Board stack, addresses and every board's configuration to a file"));
  connect(saveSetup, &QAction::triggered, this, [this] { SetupFile(false); });
  QAction* loadSetup = file->addAction(tr("&Load setup…"));
  loadSetup->setStatusTip(tr("Set the window up from a setup file; WRITE CONFIG writes it"));
  connect(loadSetup, &QAction::triggered, this, [this] { SetupFile(true); });

  QMenu* datalog = menuBar()->addMenu(tr("&Datalog"));
  QAction* setup = datalog->addAction(tr("&Setup…"));
  setup->setStatusTip(tr("Number of samples and spreadsheet file of the datalog"));
  connect(setup, &QAction::triggered, this, &MainWindow::SetupDatalog);
  QAction* exportRecording = datalog->addAction(tr("&Export recording…"));
  exportRecording->setStatusTip(tr("A time range of a recording file as CSV or workbook"));
  connect(exportRecording, &QAction::triggered, this,
          [this] { ExportRecordingDialog(this, ToQString(datalogFolder_)); });
  recordAction_ = datalog->addAction(tr("&Record to file…"));
  recordAction_->setStatusTip(tr("Every sample of the cycle to a database file, without a limit"));
  connect(recordAction_, &QAction::triggered, this, &MainWindow::RecordToFile);
  stopRecordAction_ = datalog->addAction(tr("S&top recording"));
  connect(stopRecordAction_, &QAction::triggered, this, &MainWindow::StopRecording);
  // The program's version goes beside the samples even before the front
  // end says more of the bridge (SetRecordingProvenance).
  std::string version = VersionText();
  while (!version.empty() && version.back() == '\n') version.pop_back();
  recorder_ = std::make_unique<Recorder>(sampleTap_, form_.platform, version, "");
  SyncRecordActions();
  datalog->addSeparator();
  publishAction_ = datalog->addAction(tr("&Publish to MQTT…"));
  publishAction_->setStatusTip(tr("Every sample, the configuration and the status to a broker"));
  connect(publishAction_, &QAction::triggered, this, &MainWindow::PublishDialog);
  stopPublishAction_ = datalog->addAction(tr("Stop p&ublishing"));
  connect(stopPublishAction_, &QAction::triggered, this, &MainWindow::StopPublishing);
  publishing_ = std::make_unique<Publishing>(sampleTap_, form_.platform, version, "");
  publishing_->SetBacklogSource([this] { return recorder_->path(); });
  publishPoll_.setInterval(250);
  connect(&publishPoll_, &QTimer::timeout, this, [this] {
    if (!gate_.busy() && !closed_) gate_.Run([this] { publishing_->Poll(); });
  });
  SyncPublishActions();

  QMenu* viewMenu = menuBar()->addMenu(tr("&View"));
  QAction* trend = viewMenu->addAction(tr("&Trend"));
  trend->setStatusTip(tr("Cell voltages and temperatures of the stack over time"));
  connect(trend, &QAction::triggered, this, [this] { OpenTrend(); });
  QAction* recordingTrend = viewMenu->addAction(tr("Trend of a &recording…"));
  recordingTrend->setStatusTip(tr("The whole of a recording file over time"));
  connect(recordingTrend, &QAction::triggered, this,
          [this] { OpenRecordingTrendDialog(this, ToQString(datalogFolder_)); });

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
    if (form_.Timer1.enabled && !form_.Unloaded) {
      BeforeModelTick();
      form_.Timer1.click();
      AfterModelTick();
    }
  });
}

void MainWindow::BeforeModelTick() {
  trendSampler_.BeforeTick(form_);
  sampleTap_.BeforeTick(form_);
}

void MainWindow::AfterModelTick() {
  const auto now = trendClock_();
  trendSampler_.AfterTick(form_, now);
  sampleTap_.AfterTick(form_, now);
  recorder_->AfterTick(form_);
  publishing_->Poll();
  if (trend_ != nullptr) trend_->OnTick();
}

void MainWindow::OpenTrend(bool onScreen) {
  if (trend_ == nullptr) {
    auto nowMs = [this] {
      using std::chrono::milliseconds;
      const auto now = trendClock_().time_since_epoch();
      return static_cast<double>(std::chrono::duration_cast<milliseconds>(now).count());
    };
    trend_ = new TrendWindow(form_, trendStore_, nowMs, this);
    trend_->setWindowIcon(windowIcon());
  }
  if (!onScreen) trend_->setAttribute(Qt::WA_DontShowOnScreen);
  trend_->show();
  if (onScreen) {
    trend_->raise();
    trend_->activateWindow();
  }
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
  StopPublishing();  // what waits goes out, then "offline"
  timer_.stop();
  // The trend window goes with the main window.
  if (trend_ != nullptr) trend_->close();
  event->accept();
}

void MainWindow::SetRecordingProvenance(const std::string& program, const std::string& bridge) {
  recorder_->Stop();
  recorder_ = std::make_unique<Recorder>(sampleTap_, form_.platform, program, bridge);
  SyncRecordActions();
  publishing_->Stop();
  publishing_ = std::make_unique<Publishing>(sampleTap_, form_.platform, program, bridge);
  publishing_->SetBacklogSource([this] { return recorder_->path(); });
  SyncPublishActions();
}

std::string MainWindow::StartPublishing(const std::string& url, const std::string& authFile) {
  std::string refused;
  gate_.Run([&] { refused = publishing_->Start(url, authFile, form_, trendClock_()); });
  SyncPublishActions();
  return refused;
}

void MainWindow::StopPublishing() {
  publishing_->Stop();
  SyncPublishActions();
}

void MainWindow::SyncPublishActions() {
  const bool on = publishing_->Active();
  stopPublishAction_->setEnabled(on);
  publishAction_->setText(on ? tr("&Publish to MQTT… (to %1)").arg(ToQString(publishing_->where()))
                             : tr("&Publish to MQTT…"));
  if (on) {
    publishPoll_.start();
  } else {
    publishPoll_.stop();
  }
}

// The broker's URL and the file of its credentials; what the broker says
// of them comes later, in a message box, while reading goes on.
void MainWindow::PublishDialog() {
  if (gate_.busy() || closing_) return;
  QDialog dialog(this);
  dialog.setWindowTitle(tr("Publish to MQTT"));
  auto* layout = new QFormLayout(&dialog);
  auto* url = new QLineEdit(ToQString(publishing_->url()), &dialog);
  url->setPlaceholderText(QStringLiteral("mqtt://broker.lab:1883/lab?station=bench-1"));
  url->setMinimumWidth(360);
  layout->addRow(tr("Broker URL:"), url);
  auto* auth = new QLineEdit(ToQString(publishing_->authFile()), &dialog);
  auth->setPlaceholderText(tr("user = … / password = … (mode 0600); empty: environment"));
  auto* browse = new QPushButton(tr("Browse…"), &dialog);
  connect(browse, &QPushButton::clicked, &dialog, [&] {
    const QString file =
        QFileDialog::getOpenFileName(&dialog, tr("Credentials file"), QDir::homePath());
    if (!file.isEmpty()) auth->setText(file);
  });
  auto* authRow = new QHBoxLayout;
  authRow->addWidget(auth);
  authRow->addWidget(browse);
  layout->addRow(tr("Credentials file:"), authRow);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
  buttons->button(QDialogButtonBox::Ok)->setText(tr("Publish"));
  connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  layout->addRow(buttons);
  if (dialog.exec() != QDialog::Accepted) return;
  const std::string refused =
      StartPublishing(url->text().trimmed().toStdString(), auth->text().trimmed().toStdString());
  if (!refused.empty()) gate_.Run([&] { form_.platform.MsgBox(refused); });
}

std::string MainWindow::StartRecording(const std::string& path) {
  std::string refused;
  // Asked from inside a handler (a line of the control socket), it starts there.
  const auto start = [&] { refused = recorder_->Start(path, form_, trendClock_()); };
  if (gate_.busy()) {
    start();
  } else {
    gate_.Run(start);
  }
  SyncRecordActions();
  return refused;
}

void MainWindow::StopRecording() {
  recorder_->Stop();
  SyncRecordActions();
}

void MainWindow::SyncRecordActions() {
  const bool on = recorder_->Active();
  stopRecordAction_->setEnabled(on);
  recordAction_->setText(
      on ? tr("&Record to file… (recording to %1)").arg(ToQString(recorder_->path()))
         : tr("&Record to file…"));
}

void MainWindow::RecordToFile() {
  if (gate_.busy() || closing_) return;
  const QString folder =
      datalogFolder_.empty() ? QDir::homePath() : QDir(ToQString(datalogFolder_)).absolutePath();
  // A recording chosen again is appended to, never replaced.
  const QString file = QFileDialog::getSaveFileName(
      this, tr("Record to file"), QDir(folder).filePath(QStringLiteral("eb2250_recording.db")),
      tr("Recordings (*.db);;All files (*)"), nullptr, QFileDialog::DontConfirmOverwrite);
  if (file.isEmpty()) return;
  const std::string refused = StartRecording(file.toStdString());
  if (!refused.empty()) gate_.Run([&] { form_.platform.MsgBox(refused); });
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
  file->setObjectName(QStringLiteral("datalogFile"));
  const QString folder =
      datalogFolder_.empty() ? QDir::homePath() : QDir(ToQString(datalogFolder_)).absolutePath();
  file->setText(form_.NewFile.empty() ? QDir(folder).filePath(QStringLiteral("eb2250_datalog.xlsx"))
                                      : ToQString(form_.NewFile));
  auto* browse = new QPushButton(tr("Browse…"), &dialog);
  fileRow->addWidget(file);
  fileRow->addWidget(browse);
  form->addRow(tr("Spreadsheet file:"), fileRow);
  // The name the workbook is written under, as the operator types.
  auto* written = new QLabel(&dialog);
  written->setObjectName(QStringLiteral("datalogWritten"));
  written->setTextFormat(Qt::PlainText);
  auto showWritten = [file, written] {
    written->setText(
        tr("Written as: %1").arg(ToQString(Form1::DatalogFileName(file->text().toStdString()))));
  };
  showWritten();
  connect(file, &QLineEdit::textChanged, &dialog, showWritten);
  form->addRow(QString(), written);
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

void MainWindow::SetupFile(bool load) {
  if (gate_.busy() || closing_) return;
  const QString filter = tr("Setup (*.ini);;All files (*)");
  const QString folder =
      datalogFolder_.empty() ? QDir::homePath() : QDir(ToQString(datalogFolder_)).absolutePath();
  const QString chosen = load ? QFileDialog::getOpenFileName(this, tr("Load setup"), folder, filter)
                              : QFileDialog::getSaveFileName(
                                    this, tr("Save setup"),
                                    QDir(folder).filePath(QStringLiteral("eb2250.ini")), filter);
  if (chosen.isEmpty()) return;
  const std::string path = chosen.toStdString();
  std::string problem;
  if (!gate_.Run([&] { problem = load ? LoadSetupFile(form_, path) : SaveSetupFile(form_, path); }))
    return;
  if (problem.empty() || closing_) return;
  QMessageBox::warning(this, windowTitle(), ToQString(problem));
}

}  // namespace eb::app
