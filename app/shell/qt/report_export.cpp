#include "app/shell/qt/report_export.h"

#include <QChartView>
#include <QDir>

#include "app/settings/app_files.h"
#include "app/pages/html_page.h"
#include "app/settings/lang_texts.h"
#include "app/settings/param_file.h"
#include "app/shell/qt/jpeg_writer.h"
#include "app/shell/qt/report_charts.h"
#include "app/pages/report_files.h"
#include "platform/ui.h"

namespace app {

bool WriteReportPage(const ExportFileChoice& target, const QList<QChartView*>& charts,
                     const ReportPageWriter& writePage) {
    QString directory = target.directory;
    if (directory.isEmpty()) directory = QFileInfo(target.fullPath).path();
    if (!directory.endsWith(QLatin1Char('/'))) directory += QLatin1Char('/');
    const QString base = StripExtension(target.fileName);

    ReportFileSet files;
    QStringList imageNames;
    for (qsizetype k = 1; k <= charts.size(); ++k) {
        const QString name = ChartImageName(base, int(k));
        imageNames << name;
        const QImage image = ChartImage(charts[k - 1]);
        files.Add(directory + name, [image](const QString& temp) {
            return ImageToJpeg(image, temp, kChartJpegQuality) ? QString()
                                                               : GetLangText(Text::JpegNotWritten);
        });
    }
    files.AddBytes(target.fullPath, writePage(target, imageNames));
    if (!files.Commit()) {
        const QString text =
            GetLangText(Text::PageNotExported).arg(QDir::toNativeSeparators(files.failedPath())) +
            QLatin1Char('\n') + files.error();
        xb::platform::CurrentUi().messageBox(text.toStdString(), "PELMORAD32",
                                             xb::platform::kMbOk | xb::platform::kMbIconStop);
        return false;
    }
    if (Params.openAfterExport == 1) ShellOpenFile(target.fullPath);
    return true;
}

}  // namespace app
