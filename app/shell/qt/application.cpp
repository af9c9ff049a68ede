#include "app/shell/qt/application.h"

#include <exception>
#include <string>

#include "app/shell/qt/interface_language.h"
#include "app/shell/qt/screen_fit.h"
#include "platform/ui.h"

namespace app {

namespace {

void reportException(const std::string& text) {
    xb::platform::CurrentUi().messageBox(text, kApplicationTitle,
                                         xb::platform::kMbOk | xb::platform::kMbIconStop);
}

}  // namespace

bool DeliverReportingExceptions(const std::function<bool()>& deliver) {
    try {
        return deliver();
    } catch (const std::exception& e) {
        reportException(e.what());
    } catch (...) {
        reportException(GetLangText(Text::UnknownError).toStdString());
    }
    return false;
}

Application::Application(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName(QString::fromLatin1(kApplicationTitle));
    InstallInterfaceTranslator();
    InstallScreenFit(*this);
}

bool Application::notify(QObject* receiver, QEvent* event) {
    return DeliverReportingExceptions([&] { return QApplication::notify(receiver, event); });
}

}  // namespace app
