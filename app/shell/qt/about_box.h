// The about box: the program's icon, name and version.
#pragma once

#include <QDialog>
#include <QIcon>
#include <memory>

namespace Ui {
class TAboutBox;
}

namespace app {

inline constexpr const char* kProgramVersion = "2.06";

// The program's icon, drawn by our own code.
QIcon ProgramIcon();

class TAboutBox : public QDialog {
    Q_OBJECT

public:
    explicit TAboutBox(QWidget* parent = nullptr);
    ~TAboutBox() override;

public slots:
    void OKBUTTONClick();

protected:
    void showEvent(QShowEvent* event) override;

private:
    std::unique_ptr<Ui::TAboutBox> ui;
};

extern TAboutBox* AboutBox;

}  // namespace app
