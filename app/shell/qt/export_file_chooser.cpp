#include "app/shell/qt/export_file_chooser.h"

#include <QComboBox>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QScreen>
#include <QShowEvent>
#include <QStorageInfo>

#include "app/settings/app_files.h"
#include "app/settings/lang_texts.h"
#include "app/shell/qt/modal_seam.h"
#include "platform/ui.h"
#include "ui_Tfgestfic.h"

namespace app {

Tfgestfic* fgestfic = nullptr;

namespace {

QString withSlash(QString dir) {
    if (!dir.endsWith(u'/')) dir += u'/';
    return dir;
}

bool usableDirectory(const QString& dir) {
    const QFileInfo info(dir);
    return info.isDir() && info.isReadable() && info.isExecutable();
}

}  // namespace

bool ChooseExportFile(bool withType, ExportFileChoice& choice, QWidget* parent) {
    std::unique_ptr<Tfgestfic> own;
    Tfgestfic* dialog = fgestfic;
    if (!dialog) {
        own = std::make_unique<Tfgestfic>(parent);
        dialog = own.get();
    }
    dialog->prepare(withType);
    ShowModal(*dialog);
    return dialog->answer(choice);
}

Tfgestfic::Tfgestfic(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::Tfgestfic>()) {
    ui->setupUi(this);

    m_dirModel = new QFileSystemModel(this);
    m_dirModel->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Drives);
    m_dirModel->setRootPath(QStringLiteral("/"));
    ui->DirectoryListBox1->setModel(m_dirModel);
    for (int column = 1; column < m_dirModel->columnCount(); ++column)
        ui->DirectoryListBox1->hideColumn(column);

    m_fileModel = new QFileSystemModel(this);
    m_fileModel->setFilter(QDir::Files);
    m_fileModel->setNameFilters({QStringLiteral("*")});
    m_fileModel->setNameFilterDisables(false);
    ui->FileListBox1->setModel(m_fileModel);

    fillPlaces();
    connect(ui->DriveComboBox1, &QComboBox::activated, this, &Tfgestfic::changelect);
    connect(ui->DirectoryListBox1->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& index) { directoryActivated(index); });
    connect(ui->FileListBox1, &QListView::clicked, this,
            [this](const QModelIndex& index) { fileClicked(index); });
    connect(ui->boutok, &QPushButton::clicked, this, &Tfgestfic::boutokClick);
    connect(ui->boutannule, &QPushButton::clicked, this, &Tfgestfic::boutannuleClick);
    setDirectory(GetAppDir());
}

Tfgestfic::~Tfgestfic() {
    if (fgestfic == this) fgestfic = nullptr;
}

void Tfgestfic::fillPlaces() {
    // The places a file can be written to, standing in for the drives: home, the data directory, the
    // root and every mounted volume.
    QStringList places = {withSlash(QDir::homePath()), GetAppDir(), QStringLiteral("/")};
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
        if (volume.isValid() && volume.isReady()) places << withSlash(volume.rootPath());
    }
    places.removeDuplicates();
    ui->DriveComboBox1->clear();
    for (const QString& place : places) ui->DriveComboBox1->addItem(place, place);
}

void Tfgestfic::prepare(bool withType) {
    Tag = -1;
    setWindowTitle(GetLangText(Text::EnterNewFileName));
    ui->Edit1->setReadOnly(false);
    ui->Edit1->setText(QStringLiteral("*"));
    ui->gtype->setVisible(withType);
    ui->rtype1->setChecked(true);
}

void Tfgestfic::setTexts() {
    ui->gtype->setTitle(GetLangText(Text::Type));
    ui->rtype1->setText(GetLangText(Text::Type) + QStringLiteral(" 1"));
    ui->rtype2->setText(GetLangText(Text::Type) + QStringLiteral(" 2"));
    ui->boutok->setText(GetLangText(Text::OkButton));
    ui->boutannule->setText(GetLangText(Text::Cancel));
}

QString Tfgestfic::currentDirectory() const {
    return m_directory;
}

void Tfgestfic::setDirectory(const QString& dir) {
    QString target = withSlash(QDir::cleanPath(dir));
    if (!usableDirectory(target)) target = withSlash(QDir::homePath());
    // The place that holds the directory: the longest place path it starts with.
    int best = -1;
    qsizetype bestLength = -1;
    for (int i = 0; i < ui->DriveComboBox1->count(); ++i) {
        const QString place = ui->DriveComboBox1->itemData(i).toString();
        if (target.startsWith(place) && place.size() > bestLength) {
            best = i;
            bestLength = place.size();
        }
    }
    if (best >= 0) ui->DriveComboBox1->setCurrentIndex(best);
    const QString place = best >= 0 ? ui->DriveComboBox1->itemData(best).toString() : QStringLiteral("/");
    ui->DirectoryListBox1->setRootIndex(
        m_dirModel->index(place == QStringLiteral("/") ? place : place.chopped(1)));
    m_directory = target;
    const QModelIndex index = m_dirModel->index(target == QStringLiteral("/") ? target : target.chopped(1));
    {
        QSignalBlocker block(ui->DirectoryListBox1->selectionModel());
        ui->DirectoryListBox1->setCurrentIndex(index);
    }
    ui->DirectoryListBox1->expand(index);
    ui->DirectoryListBox1->scrollTo(index);
    m_fileModel->setRootPath(target);
    ui->FileListBox1->setRootIndex(m_fileModel->index(target));
}

void Tfgestfic::changelect(int index) {
    const QString place = ui->DriveComboBox1->itemData(index).toString();
    // A place that cannot be read (an unmounted or refused volume) falls back to the home directory.
    setDirectory(usableDirectory(place) ? place : QDir::homePath());
}

void Tfgestfic::directoryActivated(const QModelIndex& index) {
    if (!index.isValid()) return;
    const QString path = m_dirModel->filePath(index);
    if (!usableDirectory(path)) return;
    m_directory = withSlash(path);
    m_fileModel->setRootPath(m_directory);
    ui->FileListBox1->setRootIndex(m_fileModel->index(path));
}

void Tfgestfic::fileClicked(const QModelIndex& index) {
    if (index.isValid()) ui->Edit1->setText(m_fileModel->fileName(index));
}

QString Tfgestfic::refusal(QString& directory, QString& name) const {
    name = ui->Edit1->text().trimmed();
    directory = m_directory;
    const qsizetype slash = name.lastIndexOf(u'/');
    if (slash >= 0) {
        const QString typedDir = name.left(slash + 1);
        directory = withSlash(QDir::cleanPath(typedDir.startsWith(u'/') ? typedDir : m_directory + typedDir));
        name = name.mid(slash + 1);
    }
    if (!QFileInfo(directory).isDir())
        return GetLangText(Text::FolderNotFound).arg(QDir::toNativeSeparators(directory));
    if (name.isEmpty() || name.contains(u'*') || name.contains(u'?') || name == QStringLiteral(".") ||
        name == QStringLiteral("..")) {
        return GetLangText(Text::EnterNewFileName);
    }
    if (QFileInfo(directory + name).isDir())
        return GetLangText(Text::NameIsFolder).arg(QDir::toNativeSeparators(directory + name));
    return {};
}

void Tfgestfic::boutokClick() {
    QString directory, name;
    const QString why = refusal(directory, name);
    if (!why.isEmpty()) {
        xb::platform::CurrentUi().messageBox(why.toStdString(), windowTitle().toStdString(),
                                             xb::platform::kMbOk | xb::platform::kMbIconWarning);
        ui->Edit1->setFocus();
        return;
    }
    m_directory = directory;
    ui->Edit1->setText(name);
    Tag = 0;
    accept();
}

void Tfgestfic::boutannuleClick() {
    Tag = -1;
    reject();
}

void Tfgestfic::done(int result) {
    // Escape and the window's close button answer as cancel does.
    if (result != QDialog::Accepted) Tag = -1;
    QDialog::done(result);
}

bool Tfgestfic::answer(ExportFileChoice& choice) const {
    if (Tag == -1) return false;
    choice.type = ui->rtype2->isChecked() ? 2 : 1;
    choice.directory = m_directory;
    choice.fileName = ui->Edit1->text();
    choice.fullPath = choice.directory + choice.fileName;
    if (QFileInfo::exists(choice.fullPath)) {
        const int button = xb::platform::CurrentUi().messageBox(
            GetLangText(Text::ContinueQuestion).toStdString(), GetLangText(Text::FileExists).toStdString(),
            xb::platform::kMbYesNo | xb::platform::kMbIconQuestion | xb::platform::kMbDefButton2);
        if (button != xb::platform::kIdYes) return false;
    }
    return true;
}

void Tfgestfic::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (event->spontaneous()) return;
    setTexts();
    setDirectory(m_directory);
    if (QScreen* s = screen()) move(s->availableGeometry().center() - rect().center());
}

void Tfgestfic::changeEvent(QEvent* event) {
    if (event->type() == QEvent::ActivationChange && isActiveWindow()) setTexts();
    QDialog::changeEvent(event);
}

}  // namespace app
