// The reports in French and in Croatian on a generated season whose names are hard to show: every report
// window computed, read for cut texts, its place on the screen and (in Croatian) English left over, printed
// and exported; then every other window of the program walked and read the same way.
#include "app/program/qt/road/road.h"

namespace road {

const char* const kHardTeams[] = {kMarkupTeam,    "Paris Saint-Germain", "Olympique Lyonnais",
                                  "Hajduk Split", "Olympique Marseille", "Dinamo Zagreb"};

// Every text of the generated season in characters both code pages of the two languages hold.
std::string Plain(const std::string& text) {
    QString folded = QString::fromStdString(text).normalized(QString::NormalizationForm_D);
    QString out;
    for (QChar c : folded) {
        if (c.category() == QChar::Mark_NonSpacing) continue;
        out += c.unicode() < 128 ? c : (c == QChar(0xF8) || c == QChar(0xD8) ? QChar('o') : QChar('x'));
    }
    return out.toStdString();
}

std::vector<xbtest::SeasonTable> HardSeason() {
    auto season = xbtest::MakeSeason({20, 3, 38, 41});
    std::map<std::string, int> goals;  // by player number
    for (auto& t : season) {
        for (auto& row : t.rows)
            for (auto& cell : row) cell = Plain(cell);
        if (t.file == "champion.dbf") t.rows[0][1] = kLongChampionship;
        if (t.file == "equipe.dbf") {
            // The other teams under the widest names the table holds: 20 wide letters each.
            for (size_t i = 0; i < t.rows.size(); ++i)
                t.rows[i][1] = "WMWMWMWMWMWMWMWMWM" + std::string(1, char('A' + i % 26)) + "W";
            // From team 2 on: the generated calendar has team 1 play every match away.
            for (size_t i = 0; i < std::size(kHardTeams); ++i) t.rows[i + 1][1] = kHardTeams[i];
        }
        if (t.file == "joueur.dbf")
            // Every player under a name of 30 wide letters, the most the table holds.
            for (size_t i = 0; i < t.rows.size(); ++i)
                t.rows[i][1] = "MWMWMWMWMWMWMWMWMWMWMWMWMW" + std::string(1, char('A' + i % 26)) +
                               std::string(1, char('A' + i / 26 % 26)) + "WM";
        if (t.file == "but.dbf")
            for (const auto& row : t.rows) ++goals[row[5]];
    }
    // The player with the most goals recorded, near the head of the scorers' list and page, under a name of
    // several words with markup and an accent: on one line in the window, the printout and the page.
    const auto best = std::max_element(goals.begin(), goals.end(),
                                       [](const auto& a, const auto& b) { return a.second < b.second; });
    for (auto& t : season)
        if (t.file == "joueur.dbf" && best != goals.end())
            for (auto& row : t.rows)
                if (row[0] == best->first) row[1] = kMarkupPlayer;
    return season;
}

struct ReportWindow {
    const char* name;
    const char* button;
    std::function<QWidget*()> window;
    std::function<void(QWidget*)> choose;  // the selection, once the championship is there
    const char* compute;
    bool prints, exports;
};

void TypeChampionship(QWidget* w) {
    auto* number = Child<QLineEdit>(w, "enumchamp");
    if (number->isReadOnly()) {
        number->setText("1");
    } else {
        number->clear();
        QTest::keyClicks(number, "1");
    }
}

void ChooseTeam(QWidget* w, const char* box, const char* team) {
    auto* c = Child<QComboBox>(w, box);
    c->setCurrentIndex(c->findText(QString::fromUtf8(team)));
}

// Each tab of the window in turn, read and pictured; the first one shown again afterwards.
void ReadTabs(QWidget* w, const std::string& picture, const std::function<void()>& read) {
    read();
    w->grab().save(QString::fromStdString(picture + ".png"));
    auto* tabs = w->findChild<QTabWidget*>();
    for (int t = 1; tabs && t < tabs->count(); ++t) {
        tabs->setCurrentIndex(t);
        QTest::qWait(100);
        read();
        w->grab().save(QString::fromStdString(picture + "-tab" + std::to_string(t) + ".png"));
    }
    if (tabs) tabs->setCurrentIndex(0);
}

// Every other window the main window opens, and the dialogs they open in turn, each read while shown:
// the editing windows, the import, the parameters, the about box, the pick list, the match entry, the
// restore's question and the backup's file chooser.
void AddWindowWalk(Road& road, const std::string& out, const std::string& tag, std::function<void()> read) {
    const std::string at = out + "/" + tag + "-";
    road.add(tag + " main window read", NoModal(), [read, at] {
        read();
        Main()->grab().save(QString::fromStdString(at + "main.png"));
    });
    const std::pair<const char*, std::function<QWidget*()>> windows[] = {
        {"bgestchamp", [] { return static_cast<QWidget*>(app::fgestchamp()); }},
        {"bgestequipes", [] { return static_cast<QWidget*>(app::fgestequipe()); }},
        {"bjoueurs", [] { return static_cast<QWidget*>(app::fgestjoueur()); }},
        {"mimportkvx127", [] { return static_cast<QWidget*>(app::fimport()); }},
        {"aparametre", [] { return static_cast<QWidget*>(app::fpara); }},
    };
    for (const auto& [entry, window] : windows) {
        road.add(tag + " " + entry + " read", NoModal(), [&road, entry = entry, window = window, read, at, out, tag] {
            road.hold(true);
            if (auto* action = Main()->findChild<QAction*>(entry))
                action->trigger();
            else
                Click(Main(), entry);
            QTest::qWait(300);
            QWidget* w = window();
            road.check(w && w != Main(), std::string("no window from ") + entry);
            if (w && w != Main()) {
                for (const std::string& problem : ScreenProblems(w, false).found) road.check(false, problem);
                ScreenPicture(out, tag + "-" + entry);
                ReadTabs(w, at + entry, read);
                w->close();
            }
            road.hold(false);
        });
    }
    // The results window in entry mode, its pick list and its match entry.
    road.add(tag + " results window read", NoModal(), [&road, read, at] {
        road.hold(true);
        Click(Main(), "bresultat");
        QTest::qWait(300);
        ReadTabs(app::fsairesultat(), at + "results", read);
        road.hold(false);
        Click(app::fsairesultat(), "inumero");
    });
    road.add(tag + " pick list read", ModalIs<app::Tfliste>(), [&road, read, at] {
        road.check(!Modal<app::Tfliste>()->windowTitle().trimmed().isEmpty(), "pick list without a title");
        Modal<app::Tfliste>()->grab().save(QString::fromStdString(at + "pick-list.png"));
        read();
        PickFirst(QString());
    });
    road.add(tag + " match entry", NoModal(), [] {
        Choose(app::fsairesultat(), "ejournee", QStringLiteral("1"));
        Click(app::fsairesultat(), "bafficher");
        Click(app::fsairesultat(), "bnouveau");
    });
    road.add(tag + " match entry read", ModalIs<app::Tfsaimatch>(), [&road, read, at] {
        road.hold(true);
        QDialog* d = Modal<app::Tfsaimatch>();
        for (const std::string& problem : ScreenProblems(d, false).found) road.check(false, problem);
        ReadTabs(d, at + "match-entry", read);
        road.hold(false);
        d->reject();
    });
    road.add(tag + " results window closed", NoModal(), [] { app::fsairesultat()->close(); });
    // The about box, the restore's question and the backup's file chooser: each read, then dismissed.
    const std::pair<const char*, const char*> dialogs[] = {
        {"HelpAbout1", "about"}, {"mrecharger", "restore-question"}, {"msauvdonnees", "backup-chooser"}};
    for (const auto& [action, picture] : dialogs) {
        road.add(tag + " " + picture, NoModal(),
                 [action = action] { Child<QAction>(Main(), action)->trigger(); });
        road.add(tag + " " + picture + " read", ModalIs<QDialog>(), [read, at, picture = picture] {
            QDialog* d = Modal<QDialog>();
            d->grab().save(QString::fromStdString(at + picture + ".png"));
            read();
            if (qobject_cast<QMessageBox*>(d))
                Answer(QMessageBox::No);
            else
                d->reject();
        });
    }
}

// The engine's own dialog as a user meets it: a new championship validated without a name. The box is as
// wide as its title ("Validation impossible", "Potvrda nije moguća") and lies on the screen.
void AddNamelessChampionship(Road& road, const std::string& out, const std::string& tag) {
    road.add(tag + " nameless championship", NoModal(), [] {
        if (auto* action = Main()->findChild<QAction*>("bgestchamp"))
            action->trigger();
        else
            Click(Main(), "bgestchamp");
        Click(app::fgestchamp(), "bnouveau");
        Click(app::fgestchamp(), "bok");
    });
    road.add(tag + " nameless championship refused", ModalIs<xb::TDialogForm>(), [&road, out, tag] {
        QDialog* d = Modal<xb::TDialogForm>();
        road.hold(true);
        QTest::qWait(250);  // painted and on the X server before the screen is pictured
        road.hold(false);
        road.check(d->windowTitle() == app::GetLangText(app::Text::UnableToValidate), "title");
        road.check(d->frameGeometry().width() >= app::TitleBarWidthNeeded(d->windowTitle()),
                   "box narrower than its title: " + std::to_string(d->frameGeometry().width()));
        road.check(d->screen()->availableGeometry().contains(d->frameGeometry()), "box outside the screen");
        ScreenPicture(out, tag + "-nameless-championship");
        Click(d, "button1");
    });
    road.add(tag + " nameless championship left", NoModal(), [] {
        Click(app::fgestchamp(), "bannule");
        app::fgestchamp()->close();
    });
}

void ReportStation(Road& road, const std::string& out, int language, const std::string& tag) {
    road.add("first start: " + tag + " chosen", ModalIs<app::TForm10>(), [language] {
        auto* choice = Modal<app::TForm10>();
        QTest::mouseClick(choice->languageButton(language), Qt::LeftButton);
        choice->bokClick();
    });
    // In a session of another language than French every window is read for English.
    const auto foreign = language == kFrench ? nullptr : std::make_shared<ForeignTexts>(language);
    const auto readForEnglish = [&road, foreign] {
        if (foreign)
            for (const std::string& problem : ForeignShown(*foreign)) road.check(false, problem);
    };
    road.add("a season with hard names", NoModal(), [&road, language, foreign, readForEnglish] {
        road.check(app::LanguageIndex == language, "language");
        road.check(!foreign || foreign->complete(), "Qt's catalogue of the language is missing or partial");
        readForEnglish();
        xbtest::FillLeagueTables(app::GetAppDir().toStdString(), HardSeason());
        app::CurrentSeasonYear = 2026;
    });
    const auto standingsOrder = [](int order) {
        return [order](QWidget* w) { Child<QComboBox>(w, "ctypecla2")->setCurrentIndex(order); };
    };
    const ReportWindow reports[] = {
        {"standings", "bclassement", [] { return static_cast<QWidget*>(app::fclassement()); },
         standingsOrder(0), "bappelleclassement", true, true},
        {"scorers", "bclassement", [] { return static_cast<QWidget*>(app::fclassement()); },
         standingsOrder(app::kOrderScorers), "bappelleclassement", true, true},
        {"team-matches", "bmatcheq", [] { return static_cast<QWidget*>(app::fmatcheq()); },
         [](QWidget* w) { ChooseTeam(w, "eequipe", kMarkupTeam); }, "baffiche", true, true},
        {"team-information", "binfoequipe", [] { return static_cast<QWidget*>(app::finfoequipe()); },
         [](QWidget* w) { ChooseTeam(w, "eequipe", kMarkupTeam); }, "baffiche", true, true},
        {"championship-statistics", "bstatleague", [] { return static_cast<QWidget*>(app::fstatchamp()); },
         [](QWidget*) {}, "baffiche", true, false},
        {"results-grid", "bgrilleresultat", [] { return static_cast<QWidget*>(app::fgrilleresult()); },
         [](QWidget*) {}, "bappelle", false, true},
        {"prediction", "bprevision", [] { return static_cast<QWidget*>(app::fprevision()); },
         [](QWidget* w) {
             ChooseTeam(w, "eequipe1", kMarkupTeam);
             ChooseTeam(w, "eequipe2", kHardTeams[1]);
             auto* day = Child<QComboBox>(w, "cjournee");
             day->setCurrentIndex(day->count() - 1);
         },
         "bafficher", false, false},
        {"head-to-head", "bfaceaface", [] { return static_cast<QWidget*>(app::ffaceaface()); },
         [](QWidget* w) {
             auto* h = static_cast<app::Tffaceaface*>(w);
             h->SetTeam(1, 2);
             h->SetTeam(2, 3);
         },
         "bafficher", true, true},
        {"matchday", "bjournee", [] { return static_cast<QWidget*>(app::fsairesultat()); },
         [](QWidget* w) { Child<QComboBox>(w, "ejournee")->setCurrentIndex(0); }, "bafficher", true, true},
    };
    for (const ReportWindow& r : reports) {
        const std::string name = tag + "-" + r.name;
        road.add(name, NoModal(), [&road, r, name, out, readForEnglish] {
            road.hold(true);
            Click(Main(), r.button);
            QWidget* w = r.window();
            // At its first opening, framed by the window manager when there is one, before it shows data.
            QTest::qWait(300);
            for (const std::string& problem : ScreenProblems(w, false).found)
                road.check(false, "first opening: " + problem);
            if (w->findChild<QLineEdit*>("enumchamp")) TypeChampionship(w);
            r.choose(w);
            Click(w, r.compute);
            QTest::qWait(300);
            for (const std::string& problem : WindowTextProblems(w).found) road.check(false, problem);
            for (const std::string& problem : ScreenProblems(w).found) road.check(false, problem);
            // Percentages as the language writes them: "36,9 %" in French and Croatian alike.
            for (QChartView* v : w->findChildren<QChartView*>())
                for (QAbstractSeries* s : v->chart()->series())
                    if (auto* pie = qobject_cast<QPieSeries*>(s))
                        for (QPieSlice* slice : pie->slices())
                            if (app::ChartPlainText(slice->label()).contains(QLatin1Char('%')))
                                road.check(app::ChartPlainText(slice->label())
                                               .contains(QRegularExpression(QString::fromUtf8("\\d,\\d[ \u00A0]%$"))),
                                           "percentage " + app::ChartPlainText(slice->label()).toStdString());
            readForEnglish();
            w->grab().save(QString::fromStdString(out + "/" + name + ".png"));
            ScreenPicture(out, name);
            if (r.prints) {
                app::SetReportPrinterFactory([out, name] {
                    auto p = std::make_unique<QPrinter>(QPrinter::HighResolution);
                    p->setOutputFormat(QPrinter::PdfFormat);
                    p->setOutputFileName(QString::fromStdString(out + "/" + name + ".pdf"));
                    return p;
                });
                Click(w, "bimp");
                app::SetReportPrinterFactory({});
            }
            road.hold(false);
        });
        if (r.exports) {
            road.add(name + " export", NoModal(), [r] { Click(r.window(), "bhtm"); });
            road.add(name + " export chosen", ModalIs<app::Tfgestfic>(), [out, name, readForEnglish] {
                auto* files = Modal<app::Tfgestfic>();
                files->setDirectory(QString::fromStdString(out));
                Type(files, "Edit1", QString::fromStdString(name + ".htm"));
                readForEnglish();
                Click(files, "boutok");
            });
        }
        // The other pages of the window only now: printout and page were made before they were ever shown.
        road.add(name + " closed", NoModal(), [&road, r, out, name, readForEnglish] {
            road.hold(true);
            if (r.exports) road.check(fs::exists(out + "/" + name + ".htm"), "no page");
            QWidget* w = r.window();
            if (auto* tabs = w->findChild<QTabWidget*>()) {
                for (int t = 1; t < tabs->count(); ++t) {
                    tabs->setCurrentIndex(t);
                    QTest::qWait(150);
                    for (const std::string& problem : WindowTextProblems(w).found) road.check(false, problem);
                    readForEnglish();
                    w->grab().save(
                        QString::fromStdString(out + "/" + name + "-tab" + std::to_string(t) + ".png"));
                }
                tabs->setCurrentIndex(0);
            }
            w->close();
            road.hold(false);
        });
    }
    AddNamelessChampionship(road, out, tag);
    if (foreign) AddWindowWalk(road, out, tag, readForEnglish);
    road.add("quit", NoModal(), [] { Click(Main(), "bquit"); });
}

}  // namespace road
