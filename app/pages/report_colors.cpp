#include "app/pages/report_colors.h"

namespace app {

QString HtmlColor(uint32_t rgb) {
    return QStringLiteral("#%1").arg(rgb & 0xFFFFFF, 6, 16, QLatin1Char('0')).toUpper();
}

}  // namespace app
