// What a shown window reads like: texts cut by their room, the window and its buttons off the screen, grids
// too short, and English texts in a session of another language.
#include "app/program/qt/road/road.h"

namespace road {

TextProblems WindowTextProblems(QWidget* w) {
    TextProblems p;
    for (QLineEdit* e : w->findChildren<QLineEdit*>()) {
        if (!e->isVisible() || e->text().isEmpty() || qobject_cast<QComboBox*>(e->parentWidget())) continue;
        if (e->fontMetrics().horizontalAdvance(e->text()) > e->contentsRect().width() - 4)
            p.add("field " + e->objectName().toStdString() + " cut", e->text());
    }
    if (auto* name = w->findChild<QLineEdit*>("enomchamp"); name && name->text() != kLongChampionship)
        p.add("championship name", name->text());
    for (QComboBox* c : w->findChildren<QComboBox*>()) {
        if (!c->isVisible() || c->currentText().isEmpty()) continue;
        QStyleOptionComboBox option;
        option.initFrom(c);
        const QRect field =
            c->style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, c);
        if (c->fontMetrics().horizontalAdvance(c->currentText()) > field.width())
            p.add("choice " + c->objectName().toStdString() + " cut", c->currentText());
    }
    for (QLabel* l : w->findChildren<QLabel*>()) {
        if (!l->isVisible() || l->wordWrap() || l->text().isEmpty() || !l->pixmap().isNull()) continue;
        for (const QString& line : l->text().split('\n'))
            if (l->fontMetrics().horizontalAdvance(line) > l->contentsRect().width())
                p.add("label " + l->objectName().toStdString() + " cut", line);
    }
    for (app::ReportGrid* g : w->findChildren<app::ReportGrid*>()) {
        if (!g->isVisible()) continue;
        QFont bold = g->font();
        bold.setBold(true);
        const QFontMetrics metrics(bold);
        for (int c = 0; c < g->ColCount(); ++c) {
            if (g->ColWidth(c) == 0) continue;
            for (int r = 0; r < g->RowCount(); ++r) {
                const QStringList lines =
                    g->Cells(c, r).split(QRegularExpression("[\r\n]"), Qt::SkipEmptyParts);
                for (const QString& line : lines)
                    if (metrics.horizontalAdvance(line) + 2 > g->ColWidth(c))
                        p.add("grid " + g->objectName().toStdString() + " cell cut", line);
                if (r == 0 && lines.size() > 1 &&
                    lines.size() * metrics.height() > g->horizontalHeader()->height())
                    p.add("grid title too short", g->Cells(c, r));
            }
        }
    }
    for (QChartView* v : w->findChildren<QChartView*>()) {
        QChart* chart = v->chart();
        const std::string name = v->objectName().toStdString();
        if (v->isVisible())
            for (const app::ShownChartText& t : app::ShownChartTexts(chart))
                if (!t.whole) p.add("chart " + name + " on screen", t.text);
        const QSizeF screen = chart->size();
        chart->resize(QSizeF(app::ChartImageSize(v)));
        for (const app::ShownChartText& t : app::ShownChartTexts(chart))
            if (!t.whole) p.add("chart " + name + " image", t.text);
        chart->resize(screen);
        for (QAbstractSeries* s : chart->series())
            if (auto* pie = qobject_cast<QPieSeries*>(s))
                for (QPieSlice* slice : pie->slices())
                    if (slice->label().contains("Lille") &&
                        !app::ChartPlainText(slice->label()).contains(kMarkupTeam))
                        p.add("chart " + name + " label read as markup", app::ChartPlainText(slice->label()));
    }
    return p;
}

std::optional<QRect> OutsideFrame(QWidget* w) {
    if (qEnvironmentVariableIsEmpty("LM_ROAD_WINDOW_MANAGER")) return std::nullopt;
    const std::string id = std::to_string(w->winId());
    // The window's place on the root as the X server has it, and the frame the window manager put round it.
    const std::string info = xbtest::RunCommand("xwininfo -id " + id);
    const std::string extents = xbtest::RunCommand("xprop -id " + id + " _NET_FRAME_EXTENTS");
    std::smatch m;
    int x = 0, y = 0, width = 0, height = 0, left = 0, right = 0, top = 0, bottom = 0;
    static const std::regex geometry(
        R"(Absolute upper-left X:\s+(-?\d+)[\s\S]*Absolute upper-left Y:\s+(-?\d+)[\s\S]*Width:\s+(\d+)[\s\S]*Height:\s+(\d+))");
    if (!std::regex_search(info, m, geometry)) return std::nullopt;
    x = std::stoi(m[1]), y = std::stoi(m[2]), width = std::stoi(m[3]), height = std::stoi(m[4]);
    static const std::regex frame(R"(= (\d+), (\d+), (\d+), (\d+))");
    if (std::regex_search(extents, m, frame))
        left = std::stoi(m[1]), right = std::stoi(m[2]), top = std::stoi(m[3]), bottom = std::stoi(m[4]);
    return QRect(x - left, y - top, width + left + right, height + top + bottom);
}

TextProblems ScreenProblems(QWidget* w, bool reportGrids) {
    TextProblems p;
    const QRect screen = w->screen()->availableGeometry();
    // A window is fitted again once the window manager has framed it and once what gave way has its size:
    // read when it has settled, within eight seconds (a busy machine, the sanitizers), as a user sees it.
    const auto settled = [&] {
        const std::optional<QRect> outside = OutsideFrame(w);
        return screen.contains(w->frameGeometry()) && (!outside || screen.contains(*outside));
    };
    for (const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(8);
         !settled() && std::chrono::steady_clock::now() < until;)
        QTest::qWait(100);
    const QRect frame = w->frameGeometry();
    const auto where = [](const QRect& r) {
        return QStringLiteral("%1x%2+%3+%4").arg(r.width()).arg(r.height()).arg(r.x()).arg(r.y());
    };
    if (!screen.contains(frame)) p.add("window outside the screen", where(frame));
    if (!qEnvironmentVariableIsEmpty("LM_ROAD_WINDOW_MANAGER")) {
        const std::optional<QRect> outside = OutsideFrame(w);
        if (!outside)
            p.add("window's frame not measured", w->windowTitle());
        else if (outside->height() <= w->height())
            p.add("window not framed by the window manager", where(*outside));
        else if (!screen.contains(*outside))
            p.add("window's frame, measured by the X server, outside the screen", where(*outside));
    }
    for (QAbstractButton* b : w->findChildren<QAbstractButton*>()) {
        if (!b->isVisible()) continue;
        const QRect at(b->mapToGlobal(QPoint(0, 0)), b->size());
        if (!screen.contains(at)) p.add("button " + b->objectName().toStdString() + " off the screen", b->text());
    }
    for (app::ReportGrid* g : w->findChildren<app::ReportGrid*>()) {
        if (!g->isVisible() || !reportGrids) continue;
        const int rows = g->viewport()->height() / std::max(1, g->verticalHeader()->defaultSectionSize());
        if (rows < 15) p.add("grid " + g->objectName().toStdString() + " shows few rows", QString::number(rows));
        // A column behind a sideways scroll bar while the window has room left to grow on the screen.
        if (g->horizontalScrollBar()->isVisible() && frame.width() < screen.width() - 8)
            p.add("grid " + g->objectName().toStdString() + " scrolls sideways in a window narrower than the screen",
                  QString::number(frame.width()));
    }
    return p;
}

void ScreenPicture(const std::string& out, const std::string& name) {
    QScreen* screen = QGuiApplication::primaryScreen();
    const QSize size = screen->geometry().size();
    screen->grabWindow(0).save(QString::fromStdString(out + "/" + name + "-") +
                               QStringLiteral("%1x%2.png").arg(size.width()).arg(size.height()));
}

// Every text the shown windows let a user read, checked against the foreign texts: window titles,
// labels, buttons, check and radio boxes, group and tab titles, hints, choices, menu entries, grid
// headers and cells, and the charts' titles, axes, legends and labels.
std::vector<std::string> ForeignShown(const ForeignTexts& foreign) {
    std::vector<std::string> found;
    const auto check = [&](const std::string& where, const QString& text) {
        if (const char* why = foreign.why(text))
            found.push_back(std::string(why) + " shown: " + where + " '" + text.toStdString() + "'");
    };
    std::function<void(const std::string&, const QList<QAction*>&)> menu =
        [&](const std::string& where, const QList<QAction*>& actions) {
            for (QAction* a : actions) {
                if (!a->isVisible() || a->isSeparator()) continue;
                check(where + " menu " + a->objectName().toStdString(), a->text());
                if (a->menu()) menu(where, a->menu()->actions());
            }
        };
    for (QWidget* top : QApplication::topLevelWidgets()) {
        if (!top->isVisible()) continue;
        const std::string window =
            top->objectName().isEmpty() ? top->metaObject()->className() : top->objectName().toStdString();
        check(window + " title", top->windowTitle());
        for (QWidget* w : top->findChildren<QWidget*>()) {
            if (!w->isVisible()) continue;
            const std::string where = window + "/" + w->objectName().toStdString();
            check(where + " hint", w->toolTip());
            if (auto* l = qobject_cast<QLabel*>(w)) check(where, l->text());
            if (auto* b = qobject_cast<QAbstractButton*>(w)) check(where, b->text());
            if (auto* g = qobject_cast<QGroupBox*>(w)) check(where, g->title());
            if (auto* c = qobject_cast<QComboBox*>(w))
                for (int i = 0; i < c->count(); ++i) check(where + " choice", c->itemText(i));
            if (auto* t = qobject_cast<QTabWidget*>(w))
                for (int i = 0; i < t->count(); ++i) check(where + " tab", t->tabText(i));
            if (auto* bar = qobject_cast<QMenuBar*>(w)) menu(where, bar->actions());
            if (auto* v = qobject_cast<QTableView*>(w)) {
                const QAbstractItemModel* m = v->model();
                for (int c = 0; m && v->horizontalHeader()->isVisible() && c < m->columnCount(); ++c)
                    check(where + " header", m->headerData(c, Qt::Horizontal).toString());
                if (auto* g = qobject_cast<app::ReportGrid*>(v))
                    for (int r = 0; r < g->RowCount(); ++r)
                        for (int c = 0; c < g->ColCount(); ++c)
                            if (g->ColWidth(c) > 0) check(where + " cell", g->Cells(c, r));
            }
            if (auto* v = qobject_cast<QChartView*>(w))
                for (const app::ShownChartText& t : app::ShownChartTexts(v->chart()))
                    check(where + " chart", t.text);
        }
    }
    return found;
}

}  // namespace road
