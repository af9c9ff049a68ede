// The chooser's part of the export, apart from the rest so that code writing an already chosen target
// does not need the chooser window.
#include "app/shell/qt/report_export.h"

namespace app {

bool ExportReportPage(QWidget* parent, const QList<QChartView*>& charts, const ReportPageWriter& writePage) {
    ExportFileChoice target;
    if (!ChooseExportFile(false, target, parent)) return false;
    return WriteReportPage(target, charts, writePage);
}

}  // namespace app
