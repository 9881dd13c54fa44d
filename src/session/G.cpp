// Module G: start-up, settings, messages, permissions, module launch and errors.

#include "session/G.h"

#include "platform/data/DataAccess.h"
#include "platform/ui/widgets/Frm.h"
#include "platform/util/ProgramEnd.h"
#include "platform/util/Utility.h"
#include "session/EmailComponent.h"
#include "session/Gi.h"
#include "session/StartupLine.h"
#include "session/SuiteSession.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QThread>
#include <memory>
#include <optional>
#include <utility>

namespace {

// The suite's own file-transfer account, the same for every installation.
const QString kFileTransferUser = "tavelo";
const QString kFileTransferPassword = "tavelo";
const QString kFileTransferHost = "localhost";

QString Number(qint64 value) {
    return QString::number(value);
}

// A field or setting read as a Boolean: True/False in any case or a number (non-zero is true);
// NULL and blank count as false. Anything else cannot be read.
std::optional<bool> ReadBoolean(const QVariant& value) {
    if (value.typeId() == QMetaType::Bool)
        return value.toBool();
    const QString text = value.toString().trimmed();
    if (text.isEmpty() || text.compare("false", Qt::CaseInsensitive) == 0)
        return false;
    if (text.compare("true", Qt::CaseInsensitive) == 0)
        return true;
    bool ok = false;
    const double number = text.toDouble(&ok);
    if (!ok)
        return std::nullopt;
    return number != 0;
}

qint32 WholeValue(const QVariant& value) {
    return Utility::ToInt32(Utility::Val(value.toString()));
}

bool ConsoleOption(const QString& key) {
    const QString text = U().ReadIni(Gi.sPathIni, "Console", key, "False");
    const auto value = ReadBoolean(text);
    if (!value)
        throw TvError(ErrorNumber::TypeMismatch,
                      QString("La opción %1 de la sección Console de %2 debe ser True o False, "
                              "no \"%3\".")
                          .arg(key, QDir::toNativeSeparators(Gi.sPathIni), text));
    return *value;
}

// The data folder named by the ini: the suite's "\" separators read as "/", no trailing
// separator, and a relative path taken from the ini's own folder.
QString DataFolder(const QString& dataPath) {
    QString path = dataPath.trimmed();
    path.replace('\\', '/');
    if (path.isEmpty())
        return path;
    if (QFileInfo(path).isRelative())
        path = QFileInfo(Gi.sPathIni).absoluteDir().filePath(path);
    return QDir::cleanPath(path);
}

QString CounterRow(const QString& sId, qint32 nIdSucursal, const QString& sSerie, qint32 nAnio) {
    return "sId=" + Utility::Quote(sId) + " AND nIdSucursal=" + Number(nIdSucursal) +
           " AND sSerie=" + Utility::Quote(sSerie) + " AND nAnio=" + Number(nAnio);
}

// The counter row's number, counted on; the row stays locked until the transaction ends, so no
// other workstation reads the number before it is used or given back.
qint32 Draw(const QString& where, const QString& what, qint32 count = 1) {
    const Rows row = Db().LockedRows("SELECT nIdContador,nContador FROM Contadores WHERE " + where +
                                         Db().LockRowsClause(),
                                     what);
    const qint32 n = WholeValue(row.Value(1, 0));
    Db().UpdateRecord("Contadores", "nContador", Number(Utility::ToInt32(double(n) + count)),
                      "nIdContador=" + Number(WholeValue(row.Value(0, 0))));
    return n;
}

// The counter raised by count in one statement, which holds its row until the transaction ends as
// reading it for update would; nothing when the row is not there yet. On a server *xid takes the
// transaction's id, with the number.
std::optional<qint32> Raise(const QString& where, const QString& what, qint32 count, qint64* xid) {
    const bool server = Db().IsServerDb();
    const Rows row = Db().LockedRows("UPDATE Contadores SET nContador=COALESCE(nContador,0)+" +
                                         Number(count) + " WHERE " + where +
                                         " RETURNING nContador" + (server ? ",txid_current()" : ""),
                                     what);
    if (row.IsEmpty())
        return std::nullopt;
    if (server)
        *xid = row.Value(1, 0).toLongLong();
    return Utility::ToInt32(double(WholeValue(row.Value(0, 0))) - count);
}

// The number drawn in a short transaction of its own. On a server its COMMIT can reach the server
// (and a synchronous standby) while the answer never reaches this desk; the series would then
// have a gap that nobody was told of. The transaction's id, read with the number, lets the desk
// ask once reconnected. Batched, the BEGIN travels with the draw and the savepoint's release with
// the COMMIT: two requests instead of five. A batch runs again only when nothing of it can have
// been committed (the lost request carried its BEGIN and not its COMMIT), and the id is known
// before the COMMIT leaves.
qint32 DrawnAlone(const std::function<qint32(qint64*)>& draw, qint32 count) {
    qint64 xid = 0;
    qint32 n = 0;
    try {
        Db().Batched([&] {
            xid = 0;
            InOneTransaction([&] { n = draw(&xid); });
        });
        return n;
    } catch (const TvError& e) {
        if (xid == 0 || !Db().ConnectionLost())
            throw;
        throw G::SinRespuesta(e, n, count, xid);
    }
}

// Inside the caller's transaction the number is the caller's to use or give back; without one it
// is drawn in a short transaction of its own, and stays consumed.
qint32 InTransaction(const std::function<qint32()>& draw) {
    if (Db().InTransaction())
        return draw();
    return InOneTransaction(draw);
}

// While another workstation keeps this one waiting, the status bar says so (the billing window's,
// when a dialog is in front) and the windows keep painting; what the user does waits until the
// wait is over.
void ShowWaiting(bool waiting) {
    if (Frm* frame = Frm::StatusFrame())
        frame->Sb_PanelText_Set(
            1, waiting ? Db().Translate(" Esperando a otro puesto…") : QString(), true, 255, 0);
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

QString& Note() {
    static QString note;
    return note;
}

void Report(const QString& procedure, const QString& given, int number,
            const QString& description) {
    const QString extra =
        Note().isEmpty() ? given : (given.isEmpty() ? Note() : given + "\n" + Note());
    try {
        U().ShowError(procedure, extra, Gi.sNombre, number, description);
    } catch (...) {
        // The error must still reach the user when the report itself fails (log unwritable).
        Ui::current().Message("Error", procedure + " " + Number(number) + " " + description,
                              Ui::Icon::Critical);
    }
}

// The system's font list is read the first time any text is measured, which the first window
// does: half of the work before its first frame. Read on another thread from the start, it comes
// while the session and the database open; a window that needs a font sooner waits for the list
// as it would have waited reading it itself.
void ReadFontsMeanwhile() {
    static QThread* reader = nullptr;
    if (reader || !qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return;
    reader = QThread::create([] { QFontDatabase::families(); });
    reader->start();
    // A program that ends sooner, through EndProgram or with its application, lets the reading
    // finish before what it reads into goes.
    ProgramEnd::AddCleanUp([] { reader->wait(); });
    qAddPostRoutine([] {
        reader->wait();
        delete reader;
    });
}

} // namespace

void G::Init(const QString& commandLine) {
    ReadFontsMeanwhile();
    Trap("G::Init", [&] {
        Gi = SessionRecord{};
        Gi.sPathRoot = U().GetRootPath(QCoreApplication::applicationDirPath(), "Tavelo");
        Gi.sPathIni = StartupLine::IniPath(commandLine);
        if (Gi.sPathIni.isEmpty())
            Gi.sPathIni = Gi.sPathRoot + "/Data/Tavelo.ini";
        if (!U().FileExists(Gi.sPathIni)) {
            Ui::current().Message("Init", "No se encuentra Tavelo.ini - Tavelo.ini Not Found",
                                  Ui::Icon::Critical);
            EndProgram(1);
        }

        Gi.sPathData = DataFolder(U().ReadIni(Gi.sPathIni, "Database", "DataPath", {}));
        Gi.DeriveFolders();
        if (!Gi.sPathData.isEmpty() && QFileInfo(Gi.sPathData).isDir())
            U().SetLogFolder(Gi.sPathData);

        Db().SetWaitHook(ShowWaiting);
        SuiteSession::Open(Gi.sPathIni, Gi.sPathData, Db());
        auto& mail = EmailComponent::instance();
        mail.Init(Gi.sPathIni);
        if (!Db().IsConnected())
            EndProgram(1);

        G::Load_Gi(commandLine);

        mail.SetFileTransferAccount(kFileTransferUser, kFileTransferPassword, kFileTransferHost);
        mail.SetMailAccount(Gi.sEmailSvr, Gi.sEmailUsr, Gi.sEmailPwd);
        U().SetCompanyName(Gi.sNombre);
    });
}

void G::Load_Gi(const QString& commandLine) {
    Trap("G::Load_Gi", [&] {
        if (QCoreApplication::applicationName() != "Tavelo") {
            Gi.sUsuario = StartupLine::Login(commandLine);
            G::Load_Gi_User(Gi.sUsuario);
            Gi.nFechaTrabajo = StartupLine::WorkingDate(commandLine);
            Gi.sClaveCmd = StartupLine::Password(commandLine);
            if ((Gi.sUsuario == "0" ||
                 (!U().IsExemptApp(QCoreApplication::instance()) && Gi.bClave)) &&
                Gi.sClaveCmd.toUpper() != Gi.sClave.toUpper()) {
                ShowMessage(MessageKind::Notice,
                            "Este modulo sólo puede ser iniciado desde el menú.");
                EndProgram(1);
            }
        } else {
            G::Load_Gi_User(U().ReadIni(Gi.sPathIni, "Console", "User", {}));
        }

        Gi.ExpandedForms = ConsoleOption("ExpandedForms");
        Gi.GridDblClickForEdit = ConsoleOption("GridDblClickForEdit");
        Gi.ReturnIsTab = ConsoleOption("ReturnIsTab");
        Gi.ColsToGdSize = ConsoleOption("ColsToGdSize");

        Gi.sNombre = Db().GetValue("ConfiguracionEmpresa", {}, "sNombre", {}).toString();

        const Rows rows = Db().GetRows(
            "select sdato,svalor from configuracionsucursales where (sdato='sNombreSucursal' or "
            "sdato='sEmailSvr' or sdato='sEmailUsr' or sdato='sEmailPwd') and nidsucursal=" +
            Number(Gi.nIdSucursal) + " order by sdato");
        auto setting = [&](const QString& name) {
            return rows.Value(1, U().FindInArray(rows, name)).toString();
        };
        Gi.sEmailPwd = setting("sEmailPwd");
        Gi.sEmailUsr = setting("sEmailUsr");
        Gi.sEmailSvr = setting("sEmailSvr");
        Gi.sNombreSucursal = setting("sNombreSucursal");
    });
}

void G::Load_Gi_User(const QString& login) {
    try {
        const QString columns =
            Db().IsServerDb()
                ? "cast(bclave as char),sclave,nidusuario,nidsucursal,cast(baccesointersuc as "
                  "char),cast(baccesointerusr as char),nidusuariogrupo"
                : "bclave,sclave,nidusuario,nidsucursal,baccesointersuc,baccesointerusr,"
                  "nidusuariogrupo";
        const Rows rows = Db().GetRows("select " + columns +
                                       " from usuarios where susuario=" + Utility::Quote(login));
        if (rows.IsEmpty())
            throw TvError(ErrorNumber::UserNotFound, "Usuario no encontrado.");

        auto text = [&](int column) { return rows.Value(column, 0).toString(); };
        auto boolean = [&](int column) {
            const auto value = ReadBoolean(text(column));
            if (!value)
                throw TvError(ErrorNumber::TypeMismatch,
                              QString("La columna %1 de Usuarios no es un valor lógico: \"%2\".")
                                  .arg(rows.ColumnNames().value(column), text(column)));
            return *value;
        };
        Gi.bClave = boolean(0);
        Gi.sClave = text(1);
        Gi.nIdUsuario = Utility::ToInt32(Utility::Val(text(2)));
        Gi.nIdSucursal = Utility::ToInt16(Utility::Val(text(3)));
        Gi.bAccesoInterSuc = boolean(4);
        Gi.bAccesoInterUsr = boolean(5);
        Gi.nIdUsuarioGrupo = Utility::ToInt16(Utility::Val(text(6)));
    } catch (const TvError& e) {
        ReportError("G::Load_Gi_User",
                    e.Number() == ErrorNumber::UserNotFound
                        ? "El usuario no ha sido encontrado: " + login
                        : QString(),
                    e);
        EndProgram(1);
    } catch (const std::exception& e) {
        ReportError("G::Load_Gi_User", {}, e);
        EndProgram(1);
    }
}

bool& TellsLostConnection::Current() {
    static bool tells = false;
    return tells;
}

bool TellsLostConnection::Now() {
    return Current() && Db().ConnectionLost();
}

qint32 G::IncreaseCounter(const QString& sId) {
    return Trap("G::IncreaseCounter", [&]() -> qint32 {
        const QString where = CounterRow(sId, Gi.nIdSucursal, {}, 0);
        if (WholeValue(Db().GetValue("Contadores", where, {}, {})) == 0)
            return 0;
        return InTransaction([&] { return Draw(where, "el contador " + sId); });
    });
}

qint32 G::IncreaseSeriesCounter(const QString& sId, qint32 nIdSucursal, const QString& sSerie,
                                qint32 nAnio, const std::function<qint32()>& first, qint32 count) {
    return Trap("G::IncreaseCounter", [&]() -> qint32 {
        const QString where = CounterRow(sId, nIdSucursal, sSerie, nAnio);
        const QString what = QString("el contador %1 de la serie \"%2\" de %3 de la sucursal %4")
                                 .arg(sId, sSerie)
                                 .arg(nAnio)
                                 .arg(nIdSucursal);
        const auto draw = [&](qint64* xid) {
            if (const std::optional<qint32> n = Raise(where, what, count, xid))
                return *n;
            // Two workstations may open the year at once: the second insert does nothing.
            Db().LockedRows("INSERT INTO Contadores (sId,nIdSucursal,sSerie,nAnio,nContador) "
                            "VALUES (" +
                                Utility::Quote(sId) + "," + Number(nIdSucursal) + "," +
                                Utility::Quote(sSerie) + "," + Number(nAnio) + "," +
                                Number(first()) + ") ON CONFLICT DO NOTHING",
                            what);
            return Raise(where, what, count, xid).value_or(0);
        };
        if (Db().InTransaction()) {
            qint64 xid = 0;
            return draw(&xid);
        }
        return DrawnAlone(draw, count);
    });
}

bool G::Permiso(const QString& sAcceso) {
    return Trap("G::Permiso", [&] {
        const QVariant group =
            Db().GetValue("Usuarios", "nIdUsuario=" + Number(Gi.nIdUsuario), "nIdUsuarioGrupo", {});
        const qint32 id = WholeValue(
            Db().GetValue("Accesos", "sAcceso=" + Utility::Quote(sAcceso), "nIdAcceso", {}));
        if (id == 0)
            return true;
        const QVariant allowed = Db().GetValue(
            "AccesosGrupos",
            "nIdAcceso=" + Number(id) + " AND nIdUsuarioGrupo=" + U().SqlValue(group, 0, true),
            "bAcceso", {});
        return ReadBoolean(allowed).value_or(false);
    });
}

void G::ShellMod(const QString& module, const QString& extra) {
    if (!G::Permiso(module)) {
        ShowMessage(MessageKind::Notice, "No tiene permiso para realizar esta operación.");
        return;
    }
    Trap("G::ShellMod", [&] {
        ShowMessage(MessageKind::LoadingModule);
        try {
            U().RunModule(Gi.sPathExe + "/" + module.trimmed() + ".exe " + Gi.sUsuario + ":" +
                          Gi.sClaveCmd + "|" + Number(Gi.nFechaTrabajo) + "||" + extra);
        } catch (const TvError& e) {
            if (e.Number() != ErrorNumber::FileNotFound)
                throw;
            ShowMessage(MessageKind::Notice, "No se ha podido encontrar el módulo solicitado.");
        }
    });
}

int Main(const QString& commandLine, const std::function<QWidget*()>& createMainWindow) {
    G::Init(commandLine);
    // Started by hand, the module would skip the menu's check of the same right.
    if (!G::Permiso(QCoreApplication::applicationName())) {
        ShowMessage(MessageKind::Notice, "No tiene permiso para realizar esta operación.");
        EndProgram(1);
    }
    Trap("G::Main", [&] { Gi.nParam3 = StartupLine::Number(commandLine, 3); });
    const std::unique_ptr<QWidget> window(Trap("G::Main", createMainWindow));
    if (Gi.ExpandedForms)
        window->showMaximized();
    else
        window->show();
    return QApplication::exec();
}

QVariant GetCompanySetting(const QString& column) {
    return Trap("G::GetCompanySetting",
                [&] { return Db().GetValue("ConfiguracionEmpresa", {}, column, {}); });
}

QString GetBranchSetting(const QString& sDato, int branch) {
    if (branch == -1)
        branch = Gi.nIdSucursal;
    return Trap("G::GetBranchSetting", [&] {
        return Db()
            .GetValue("ConfiguracionSucursales",
                      "sDato=" + Utility::Quote(sDato) + " AND nIdSucursal=" + Number(branch),
                      "sValor", {})
            .toString();
    });
}

void ShowSessionStatus(Frm& frame) {
    const QString text =
        Gi.sUsuario.left(10) + " " + U().FormatDate(2, Gi.nFechaTrabajo).toString();
    frame.Sb_PanelText_Set(3, text, false, -1, 2);
}

bool ShowMessage(MessageKind kind, const QString& text) {
    const DataAccess& db = Db();
    auto box = [&](const QString& title, const QString& message, Ui::Icon icon) {
        Ui::current().Message(db.Translate(title), db.Translate(message), icon);
    };
    // False when no window on screen has a status bar to write to.
    auto statusBar = [&](const QString& message, int colour, int displayValue) {
        Frm* frame = Frm::StatusFrame();
        if (!frame)
            return false;
        frame->Sb_PanelText_Set(1, db.Translate(message), true, colour, 0, displayValue);
        return true;
    };

    switch (kind) {
    case MessageKind::Notice:
        box("Aviso", text, Ui::Icon::Information);
        break;
    case MessageKind::Error:
        box("Error", text, Ui::Icon::Critical);
        break;
    case MessageKind::Saved:
        if (!statusBar(" Los datos han sido guardados.", 0xFF0000, 200))
            box("Aviso", "Los datos han sido guardados.", Ui::Icon::Information);
        break;
    case MessageKind::SaveFirst:
        if (!statusBar(" Guarde el registro antes de ejecutar esta operación.", 255, 200))
            box("Aviso", "Guarde el registro antes de ejecutar esta operación.",
                Ui::Icon::Exclamation);
        break;
    case MessageKind::Confirm:
        return Ui::current().Confirm(
            db.Translate("Confirmación"),
            db.Translate(text.isEmpty() ? "¿Está seguro de realizar la operación?" : text),
            Ui::Default::Yes);
    case MessageKind::LoadingModule:
        statusBar(" Cargando Modulo. Espere por favor...", 0xFF0000, db.IsServerDb() ? 200 : 50);
        break;
    }
    return false;
}

bool ConfirmDefaultNo(const QString& text) {
    const DataAccess& db = Db();
    return Ui::current().Confirm(db.Translate("Confirmación"), db.Translate(text), Ui::Default::No);
}

bool IsMaster(bool warn) {
    const bool master = Trap("G::IsMaster", [] {
        return Db().GetValue("UsuariosGrupos", "nIdUsuarioGrupo=" + Number(Gi.nIdUsuarioGrupo),
                             "sUsuarioGrupo", {})
                   .toString() == "Master";
    });
    if (!master && warn)
        ShowMessage(MessageKind::Notice,
                    "Sólo los usuarios del grupo Maestro pueden acceder a esta opción.");
    return master;
}

ReportNote::ReportNote(const QString& text) : m_before(std::exchange(Note(), text)) {}

ReportNote::~ReportNote() {
    Note() = m_before;
}

void ReportError(const QString& procedure, const QString& extra, const TvError& error) {
    QString description = error.Description();
    if (!error.Statement().isEmpty())
        description += "\n" + error.Statement();
    Report(procedure, extra, error.Number(), description);
}

void ReportError(const QString& procedure, const QString& extra, const std::exception& error) {
    Report(procedure, extra, 0, QString::fromLocal8Bit(error.what()));
}

void QuitSuite(bool closeAll, bool warn) {
    if (closeAll) {
        if (warn)
            ShowMessage(MessageKind::Notice,
                        "Deberá reiniciar la aplicación para su correcto funcionamiento.");
        Trap("G::QuitSuite", [] {
            Db().Close();
            U().CloseApps("tv*");
            U().CloseApps("Tavelo");
        });
    }
    EndProgram(0);
}
