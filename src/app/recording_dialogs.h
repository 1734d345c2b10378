// The window's use of recording files: "Datalog → Export recording…" (a
// time range of a recording as CSV or .xlsx, with progress for anything
// over a second, cancellable, leaving no partial file) and "View → Trend of
// a recording…" (a file chosen, opened in its own trend window).
#pragma once

#include <QString>
#include <functional>

#include "record/export.h"

class QWidget;

namespace eb::app {

// Asks for the recording, the range, the boards, the format and the file,
// and exports.
void ExportRecordingDialog(QWidget* parent, const QString& folder);

// Runs `request` on `recording` under a progress dialog that appears after a
// second. Returns the reason when it failed ("" otherwise); *cancelled says
// whether the operator cancelled it (nothing is written then).
QString ExportWithProgress(QWidget* parent, const record::Recording& recording,
                           const record::ExportRequest& request, bool* cancelled);

// Asks for a recording file and opens its trend window.
void OpenRecordingTrendDialog(QWidget* parent, const QString& folder);
// Opens the trend window of `path`; says why in a message box when it cannot.
void OpenRecordingTrend(QWidget* parent, const QString& path);

// The run mode of `--trend REC.db`: the trend window of the recording alone,
// until it is closed. Returns the exit status: 0, or 2 when the file cannot
// be read (one line on stderr, `program: ...`).
// With `picture` set, the window is not shown to the operator: it is drawn
// once, whole recording in view, handed to `picture` (false: status 1), and
// the run ends.
int RunRecordingTrend(const QString& path, const char* program,
                      const std::function<bool(QWidget&)>& picture = nullptr);

}  // namespace eb::app
