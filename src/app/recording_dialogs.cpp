#include "app/recording_dialogs.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <cstdio>
#include <memory>

#include "app/recording_trend_window.h"

namespace eb::app {

namespace {

const QString kRecordingFilter = QStringLiteral("Recording (*.db *.sqlite);;All files (*)");

// A line edit with a "Browse…" button beside it.
QHBoxLayout* FileRow(QDialog* dialog, QLineEdit* edit, std::function<QString()> choose) {
  auto* row = new QHBoxLayout;
  auto* browse = new QPushButton(QObject::tr("Browse…"), dialog);
  row->addWidget(edit);
  row->addWidget(browse);
  QObject::connect(browse, &QPushButton::clicked, dialog, [edit, choose] {
    const QString chosen = choose();
    if (!chosen.isEmpty()) edit->setText(chosen);
  });
  return row;
}

}  // namespace

QString ExportWithProgress(QWidget* parent, const record::Recording& recording,
                           const record::ExportRequest& request, bool* cancelled) {
  *cancelled = false;
  QProgressDialog progress(QObject::tr("Exporting %1…").arg(QString::fromStdString(request.output)),
                           QObject::tr("Cancel"), 0, 1000, parent);
  progress.setWindowTitle(QObject::tr("Export of a recording"));
  progress.setWindowModality(Qt::WindowModal);
  progress.setMinimumDuration(1000);
  try {
    const auto outcome = record::ExportRecording(recording, request, [&progress](double done) {
      progress.setValue(static_cast<int>(done * 1000));
      QApplication::processEvents();
      return !progress.wasCanceled();
    });
    *cancelled = outcome.cancelled;
  } catch (const record::RecordingError& e) {
    return QString::fromStdString(e.what());
  }
  return QString();
}

namespace {

// A recording chosen (typed or browsed): its whole time span, and an
// export file beside it.
void OfferRecordingSpan(QLineEdit* file, QLineEdit* from, QLineEdit* to, QLineEdit* out,
                        QComboBox* format) {
  if (!QFileInfo(file->text()).isFile()) return;
  try {
    const record::Recording recording(file->text().toStdString());
    const auto span = recording.Span();
    if (span.samples > 0 && from->text().isEmpty() && to->text().isEmpty()) {
      from->setText(QString::fromStdString(record::UtcStamp(span.first)));
      to->setText(QString::fromStdString(record::UtcStamp(span.last)));
    }
  } catch (const record::RecordingError&) {
    // Said when the export is asked for.
  }
  if (out->text().isEmpty()) {
    const QFileInfo info(file->text());
    out->setText(info.dir().filePath(info.completeBaseName() +
                                     (format->currentIndex() == 0 ? ".csv" : ".xlsx")));
  }
}

// The export the dialog's fields ask for; returns what is wrong with them,
// empty when nothing is.
QString ReadExportRequest(QLineEdit* from, QLineEdit* to, QLineEdit* boards, QLineEdit* out,
                          QComboBox* format, record::ExportRequest* request) {
  QString problem;
  auto time = [&problem](QLineEdit* edit, std::int64_t* ms, const QString& what) {
    const std::string text = edit->text().trimmed().toStdString();
    if (!text.empty() && !record::ParseTime(text, ms))
      problem =
          QObject::tr("%1 is no time: %2 (e.g. 2026-12-09T10:00:00.000Z)").arg(what, edit->text());
  };
  time(from, &request->selection.from, QObject::tr("From"));
  time(to, &request->selection.to, QObject::tr("To"));
  const std::string boardText = boards->text().trimmed().toStdString();
  if (!boardText.empty() && !record::ParseBoards(boardText, &request->selection.boards))
    problem =
        QObject::tr("Boards are numbers 1 … 10 separated by commas, not %1").arg(boards->text());
  if (out->text().isEmpty()) problem = QObject::tr("Choose the file to export to.");
  request->format =
      format->currentIndex() == 0 ? record::ExportFormat::Csv : record::ExportFormat::Xlsx;
  request->output = out->text().toStdString();
  return problem;
}

}  // namespace

void ExportRecordingDialog(QWidget* parent, const QString& folder) {
  QDialog dialog(parent);
  dialog.setWindowTitle(QObject::tr("Export of a recording"));
  auto* form = new QFormLayout(&dialog);
  auto* file = new QLineEdit(&dialog);
  file->setObjectName(QStringLiteral("recordingFile"));
  file->setMinimumWidth(320);
  form->addRow(QObject::tr("Recording:"), FileRow(&dialog, file, [&dialog, file, folder] {
                 return QFileDialog::getOpenFileName(&dialog, QObject::tr("Recording"),
                                                     file->text().isEmpty() ? folder : file->text(),
                                                     kRecordingFilter);
               }));
  auto* from = new QLineEdit(&dialog);
  auto* to = new QLineEdit(&dialog);
  from->setObjectName(QStringLiteral("recordingFrom"));
  to->setObjectName(QStringLiteral("recordingTo"));
  for (QLineEdit* t : {from, to})
    t->setPlaceholderText(QObject::tr("2026-12-09T10:00:00.000Z, or empty"));
  form->addRow(QObject::tr("From (UTC):"), from);
  form->addRow(QObject::tr("To (UTC):"), to);
  auto* boards = new QLineEdit(&dialog);
  boards->setObjectName(QStringLiteral("recordingBoards"));
  boards->setPlaceholderText(QObject::tr("1,3 (empty: every board)"));
  form->addRow(QObject::tr("Boards:"), boards);
  auto* format = new QComboBox(&dialog);
  format->addItem(QObject::tr("CSV (plain text)"));
  format->addItem(QObject::tr("Workbook (.xlsx)"));
  form->addRow(QObject::tr("Format:"), format);
  auto* out = new QLineEdit(&dialog);
  out->setObjectName(QStringLiteral("exportFile"));
  form->addRow(QObject::tr("Export to:"), FileRow(&dialog, out, [&dialog, out, format] {
                 return QFileDialog::getSaveFileName(&dialog, QObject::tr("Export to"), out->text(),
                                                     format->currentIndex() == 0
                                                         ? QObject::tr("CSV (*.csv)")
                                                         : QObject::tr("Workbook (*.xlsx)"));
               }));
  QObject::connect(file, &QLineEdit::textChanged, &dialog,
                   [=] { OfferRecordingSpan(file, from, to, out, format); });
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
  form->addRow(buttons);
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);

  while (dialog.exec() == QDialog::Accepted) {
    record::ExportRequest request;
    QString problem = ReadExportRequest(from, to, boards, out, format, &request);
    if (problem.isEmpty()) {
      try {
        const record::Recording recording(file->text().toStdString());
        bool cancelled = false;
        problem = ExportWithProgress(parent, recording, request, &cancelled);
        if (problem.isEmpty()) return;
      } catch (const record::RecordingError& e) {
        problem = QString::fromStdString(e.what());
      }
    }
    QMessageBox::warning(parent, dialog.windowTitle(), problem);
  }
}

void OpenRecordingTrend(QWidget* parent, const QString& path) {
  QString error;
  RecordingTrendWindow* window = RecordingTrendWindow::Open(path, parent, &error);
  if (window == nullptr) {
    if (!error.isEmpty()) QMessageBox::warning(parent, QObject::tr("Trend of a recording"), error);
    return;
  }
  window->show();
  window->Refresh();
}

int RunRecordingTrend(const QString& path, const char* program,
                      const std::function<bool(QWidget&)>& picture) {
  QString error;
  std::unique_ptr<RecordingTrendWindow> window(RecordingTrendWindow::Open(path, nullptr, &error));
  if (!window) {
    if (!error.isEmpty())
      std::fprintf(stderr, "%s: %s\n", program, error.toLocal8Bit().constData());
    return error.isEmpty() ? 0 : 2;
  }
  window->setAttribute(Qt::WA_DeleteOnClose, false);
  window->show();
  window->Refresh();
  if (picture) {
    QCoreApplication::processEvents();  // the charts' layouts
    return picture(*window) ? 0 : 1;
  }
  return QApplication::exec() == 0 ? 0 : 1;
}

void OpenRecordingTrendDialog(QWidget* parent, const QString& folder) {
  const QString path = QFileDialog::getOpenFileName(parent, QObject::tr("Trend of a recording"),
                                                    folder, kRecordingFilter);
  if (!path.isEmpty()) OpenRecordingTrend(parent, path);
}

}  // namespace eb::app
