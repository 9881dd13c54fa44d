// The accountant's books asked for and written from the billing window.

#include "billing/LibrosContables.h"

#include "books/LibroEscritura.h"
#include "books/LibroFacturas.h"
#include "platform/data/DataAccess.h"
#include "platform/ui/seam/Ui.h"
#include "platform/util/TvError.h"
#include "session/G.h"
#include "session/Gi.h"

#include <QDate>
#include <QDir>

namespace LibrosContables {
namespace {

const QString Titulo = QStringLiteral("Libros contables");

QString Texto(qint32 dia) {
    return QDate(dia / 10000, dia / 100 % 100, dia % 100).toString("dd-MM-yyyy");
}

qint32 Dia(const QString& text) {
    const QDate day = QDate::fromString(text.trimmed(), "dd-MM-yyyy");
    return day.isValid() ? day.year() * 10000 + day.month() * 100 + day.day() : 0;
}

} // namespace

void Pedir() {
    if (!G::Permiso("tvLibros")) {
        ShowMessage(MessageKind::Notice, "No tiene permiso para realizar esta operación.");
        return;
    }
    const qint32 hoy = Gi.nFechaTrabajo;
    const auto [primero, ultimo] =
        LibroFacturas::UltimoTrimestre(QDate(hoy / 10000, hoy / 100 % 100, hoy % 100));
    Ui& ui = Ui::current();
    const QString desde =
        ui.Input(Titulo, Db().Translate("Desde el día (dd-mm-aaaa):"), Texto(primero));
    if (desde.isEmpty())
        return;
    const QString hasta =
        ui.Input(Titulo, Db().Translate("Hasta el día (dd-mm-aaaa):"), Texto(ultimo));
    if (hasta.isEmpty())
        return;
    const qint32 from = Dia(desde), to = Dia(hasta);
    if (from == 0 || to == 0 || from > to) {
        ShowMessage(MessageKind::Notice,
                    from == 0 || to == 0
                        ? "Las fechas se escriben dd-mm-aaaa, por ejemplo 31-03-2026."
                        : "La fecha inicial es posterior a la final.");
        return;
    }
    const QString file =
        ui.SaveFile(Titulo,
                    QDir(DocumentsFolder())
                        .filePath("Libros " + desde.trimmed() + " " + hasta.trimmed() + ".xlsx"),
                    "xlsx", "Libro de Excel (*.xlsx);;Texto CSV (*.csv)");
    if (file.isEmpty())
        return;
    try {
        LibroEscritura::EscribirPeriodo(from, to, 0, file);
        ShowMessage(MessageKind::Notice, "Libros escritos en " + file + ".");
    } catch (const TvError& e) {
        ShowMessage(MessageKind::Error, e.Description());
    }
}

} // namespace LibrosContables
