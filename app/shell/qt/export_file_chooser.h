// The export-file chooser: the modal window Tfgestfic and ChooseExportFile around it.
#pragma once

#include <QDialog>
#include <QString>
#include <memory>

class QFileSystemModel;
class QModelIndex;

namespace Ui {
class Tfgestfic;
}

namespace app {

// What the chooser answered: the full path (directory + file name), the directory with a trailing "/",
// the file name as typed, and the type 1 or 2 when the type choice was asked (1 otherwise).
struct ExportFileChoice {
    QString fullPath;
    QString directory;
    QString fileName;
    int type = 1;
};

// Shows the chooser (caption text 3, name "*", the type choice when withType) and returns whether a file
// was chosen. An existing file asks Yes/No (text 4, caption text 5) and No answers false. No extension
// is added: the caller adds its own. The window is shown through ShowModal (app/shell/qt/modal_seam.h),
// so tests drive the real chooser.
bool ChooseExportFile(bool withType, ExportFileChoice& choice, QWidget* parent = nullptr);

class Tfgestfic : public QDialog {
    Q_OBJECT

public:
    explicit Tfgestfic(QWidget* parent = nullptr);
    ~Tfgestfic() override;

    // Tag 0 after OK, -1 after cancel or any other close (and from creation).
    int Tag = -1;

    // Prepares a run: caption, name "*", the type group shown (rtype1 checked) or hidden.
    void prepare(bool withType);
    // The answer of the run that just ended (Tag, then the Yes/No question for an existing file).
    bool answer(ExportFileChoice& choice) const;

    // The directory shown, with a trailing "/".
    QString currentDirectory() const;
    // Shows dir in the directory and file lists (an unreadable place shows the home directory).
    void setDirectory(const QString& dir);

public slots:
    void boutokClick();
    void boutannuleClick();
    void changelect(int index);

protected:
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
    void done(int result) override;

private:
    void setTexts();
    void fillPlaces();
    void directoryActivated(const QModelIndex& index);
    void fileClicked(const QModelIndex& index);
    // Why the typed name cannot be taken, or empty when it can (a "/" in it moves to its directory).
    QString refusal(QString& directory, QString& name) const;

    std::unique_ptr<Ui::Tfgestfic> ui;
    QFileSystemModel* m_dirModel = nullptr;
    QFileSystemModel* m_fileModel = nullptr;
    QString m_directory;
};

// The instance the main window creates.
extern Tfgestfic* fgestfic;

}  // namespace app
