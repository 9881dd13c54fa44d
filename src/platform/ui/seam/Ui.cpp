// The seam in force: choosing it, reporting errors through it and ending the program.

#include "platform/ui/seam/Ui.h"

#include "platform/ui/seam/InteractiveUi.h"
#include "platform/ui/seam/UnattendedUi.h"
#include "platform/util/ProgramEnd.h"
#include "platform/util/Utility.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QtGlobal>
#include <cstdlib>

namespace {
std::unique_ptr<Ui>& Installed() {
    static std::unique_ptr<Ui> ui;
    return ui;
}

// The utility's error reports reach the user through the seam in force. Every program that can
// show anything links this file (Ui::current and EndProgram live here), so the display is set
// before main runs and an error at start-up, before any window, is shown too.
[[maybe_unused]] const bool errorsShownThroughSeam = [] {
    Utility::instance().SetErrorDisplay([](const QString& title, const QString& text) {
        Ui::current().Message(title, text, Ui::Icon::Critical);
    });
    return true;
}();
} // namespace

Ui& Ui::current() {
    auto& ui = Installed();
    if (!ui) {
        if (qEnvironmentVariable("TAVELO_UNATTENDED") == QLatin1String("1"))
            ui = std::make_unique<UnattendedUi>();
        else
            ui = std::make_unique<InteractiveUi>();
    }
    return *ui;
}

std::unique_ptr<Ui> Ui::Install(std::unique_ptr<Ui> ui) {
    auto previous = std::move(Installed());
    Installed() = std::move(ui);
    return previous;
}

void EndProgram(int status) {
    ProgramEnd::RunCleanUps();
    Ui::current().Exit(status);
    // The compiler does not carry [[noreturn]] through a virtual call; an override that returned
    // would be a fault of its own.
    std::abort();
}

QString DocumentsFolder() {
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return QFileInfo(documents).isDir() ? documents : QDir::homePath();
}
