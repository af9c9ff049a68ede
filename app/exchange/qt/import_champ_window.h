// The import's championship choice: a division name of the old file matches no championship while its
// number belongs to another one; the user picks the championship it is, or asks for a new one.
#pragma once

#include <QDialog>
#include <QString>
#include <memory>

namespace Ui {
class Tfimportchamp;
}

namespace app {

class Tfimportchamp : public QDialog {
    Q_OBJECT
public:
    explicit Tfimportchamp(QWidget* parent = nullptr);
    ~Tfimportchamp() override;

    // The division name the question is about.
    void SetImportChampName(const QString& name);
    // The folder (ending "/") whose champion table the answers come from and are checked against.
    void SetImportChampTable(const QString& directory);
    // After the window closed: a championship number (> 0), -1 for a new one, 0 when it was closed
    // without an answer (the division is skipped).
    int ImportChampResult() const { return m_result; }

    // The message lines and captions in the current language.
    void TranslateForm();

public slots:
    void inumeroClick();
    void inomClick();
    void bnouveauClick();
    void bokClick();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void pick(int mode);
    QString championshipName(int number) const;

    std::unique_ptr<Ui::Tfimportchamp> ui;
    QString m_name;
    QString m_directory;
    int m_result = 0;
};

// The window, created on first use and living as long as the program.
Tfimportchamp* fimportchamp();

// Shows the question modally for a division name over the championships of directory; its answer.
int AskImportChampionship(const QString& name, const QString& directory);

}  // namespace app
