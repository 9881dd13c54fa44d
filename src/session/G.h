#pragma once

#include "platform/ui/seam/Ui.h"
#include "platform/util/TvError.h"

#include <QString>
#include <QVariant>
#include <functional>

class Frm;
class QWidget;

// Module G: start-up, counters, settings, messages, permissions, module launch and the shared
// error routine. Every failure that a procedure traps ends in ReportError and then EndProgram
// (see Trap below), except where a procedure is documented to return instead.
namespace G {

// Start-up: finds the initialisation file from the command line, opens the database and fills Gi.
// Ends the program (through the ui seam) when it cannot.
void Init(const QString& commandLine);
void Load_Gi(const QString& commandLine);
void Load_Gi_User(const QString& login);

// The next number of counter sId for the session's branch (the counter keeps the next free
// number); 0 when the branch has no such counter. The counter row is locked until the
// transaction that uses the number ends; without an open transaction the number is drawn in a
// short one of its own. A wait for another workstation is bounded (DataAccess::WaitLimitMs).
qint32 IncreaseCounter(const QString& sId);
// The same for the counter sId of branch nIdSucursal, series sSerie and year nAnio, which starts
// at first() when the series opens that year. With count above 1 it draws that many numbers at
// once and answers the first of them.
// Drawn in a short transaction on a server whose connection falls during its commit, it raises
// SinRespuesta.
qint32 IncreaseSeriesCounter(const QString& sId, qint32 nIdSucursal, const QString& sSerie,
                             qint32 nAnio, const std::function<qint32()>& first, qint32 count = 1);

// The commit of numbers drawn alone got no answer: the first and how many, and the server's id of
// the transaction that drew them, by which it can say once reconnected whether it kept them.
class SinRespuesta : public TvError {
public:
    SinRespuesta(const TvError& error, qint32 primero, qint32 cuantos, qint64 transaccion)
        : TvError(error), nPrimero(primero), nCuantos(cuantos), nTransaccion(transaccion) {}
    qint32 nPrimero;
    qint32 nCuantos;
    qint64 nTransaccion;
};

// Whether the session's user may use the operation named sAcceso (not listed: allowed).
bool Permiso(const QString& sAcceso);

// Starts the suite's program `module` with the session's command line and `extra` pieces.
void ShellMod(const QString& module, const QString& extra);

} // namespace G

// Entry of the module: start-up (G::Init), the user's right to the module (the access named as
// the application, as the menu checks it), the start-up numbers, then the parent window that
// createMainWindow makes (maximised when the user asks for expanded forms) and the event loop.
// Answers the process's exit status.
int Main(const QString& commandLine, const std::function<QWidget*()>& createMainWindow);

QVariant GetCompanySetting(const QString& column);
// branch -1 stands for the session's branch.
QString GetBranchSetting(const QString& sDato, int branch = -1);
void ShowSessionStatus(Frm& frame);

// What a message is: a notice ("Aviso"), an error ("Error"), data saved and save first (on the
// status bar when a window has one), a confirmation (answers true for Yes), a module loading.
enum class MessageKind { Notice, Error, Saved, SaveFirst, Confirm, LoadingModule };
bool ShowMessage(MessageKind kind, const QString& text = {});
// A confirmation (as MessageKind::Confirm) whose default answer is No: for questions where a
// hurried Enter would issue a document, book money or create a catalogue entry.
bool ConfirmDefaultNo(const QString& text);

bool IsMaster(bool warn);

// The shared error routine: the utility's ShowError with the procedure's name, the extra text,
// the company name and the error being handled.
void ReportError(const QString& procedure, const QString& extra, const TvError& error);
void ReportError(const QString& procedure, const QString& extra, const std::exception& error);

// While one lives, every error reported carries its text too: once a document is committed, a
// later failure (printing it) must not let the user believe that it was not issued.
class ReportNote {
public:
    explicit ReportNote(const QString& text);
    ~ReportNote();
    ReportNote(const ReportNote&) = delete;
    ReportNote& operator=(const ReportNote&) = delete;

private:
    QString m_before;
};

// Ends the program; closeAll also closes the suite's other programs (after the notice when warn).
[[noreturn]] void QuitSuite(bool closeAll, bool warn);

// While one lives (made with tells true), a desk's action that tells the desk itself when the
// server's connection falls is running (issuing a document up to its commit): the procedures it
// calls leave a lost connection to it instead of ending the program, since nothing the server did
// not commit was kept. One made with tells false lifts that for what follows the commit.
class TellsLostConnection {
public:
    explicit TellsLostConnection(bool tells = true) : m_before(Current()) { Current() = tells; }
    ~TellsLostConnection() { Current() = m_before; }
    TellsLostConnection(const TellsLostConnection&) = delete;
    TellsLostConnection& operator=(const TellsLostConnection&) = delete;
    // Whether the error being handled is a lost connection such an action will tell.
    static bool Now();

private:
    static bool& Current();
    bool m_before;
};

// The error trap of a procedure: runs body; on any error reports it under procedure (with the
// extra text) and ends the program with a non-zero status.
template <class Body> auto Trap(const QString& procedure, Body&& body, const QString& extra = {}) {
    try {
        return body();
    } catch (const TvError& e) {
        if (TellsLostConnection::Now())
            throw;
        ReportError(procedure, extra, e);
    } catch (const std::exception& e) {
        ReportError(procedure, extra, e);
    }
    EndProgram(1);
}
