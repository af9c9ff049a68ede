// The export of a report as an HTML page with its charts (every window's bhtmClick):
//   1. ChooseExportFile without the type choice; cancel writes nothing;
//   2. chart k (from 1) is rendered and named base + "g" + k + ".jpg" beside the page, base being the
//      page's file name without extension; the page refers to it by that relative name;
//   3. the window's page writer makes the page;
//   4. page and images are written as one set (temporaries renamed into place only when all are
//      complete); a failure replaces nothing and names the file in a message box;
//   5. with the open-after-export flag at 1 the page is opened with the desktop.
#pragma once

#include <QByteArray>
#include <QList>
#include <QStringList>
#include <functional>

#include "app/shell/qt/export_file_chooser.h"

class QChartView;
class QWidget;

namespace app {

// Makes the page for the chosen file; imageNames are the relative names of the charts, in order.
using ReportPageWriter =
    std::function<QByteArray(const ExportFileChoice& target, const QStringList& imageNames)>;

inline constexpr int kChartJpegQuality = 75;

// Steps 1 to 5. True when the page was written.
bool ExportReportPage(QWidget* parent, const QList<QChartView*>& charts, const ReportPageWriter& writePage);

// Steps 2 to 5 for a target already chosen.
bool WriteReportPage(const ExportFileChoice& target, const QList<QChartView*>& charts,
                     const ReportPageWriter& writePage);

}  // namespace app
