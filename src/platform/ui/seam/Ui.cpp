#include "platform/ui/seam/Ui.h"

#include "platform/data/DataAccess.h"
#include "platform/ui/seam/InteractiveUi.h"
#include "platform/ui/seam/UnattendedUi.h"

#include <QtGlobal>
#include <cstdlib>

namespace {
std::unique_ptr<Ui>& Installed() {
    static std::unique_ptr<Ui> ui;
    return ui;
}
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
    // The program is leaving whatever happens here: a database that refuses the rollback or the
    // close must not keep it alive, and the engine rolls back an unfinished transaction itself.
    try {
        auto& db = DataAccess::instance();
        if (db.IsConnected()) {
            if (db.InTransaction())
                db.Transaction(2);
            db.Close();
        }
    } catch (...) {
    }
    Ui::current().Exit(status);
    // The compiler does not carry [[noreturn]] through a virtual call; an override that returned
    // would be a fault of its own.
    std::abort();
}
