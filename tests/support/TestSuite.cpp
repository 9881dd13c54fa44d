// A suite folder of a test's own: ini, data folder and database, removed afterwards.

#include "support/TestSuite.h"

#include "support/TestEngine.h"

#include "platform/data/DataAccess.h"
#include "platform/ui/seam/ScriptedUi.h"
#include "platform/util/TvError.h"
#include "platform/util/Utility.h"
#include "session/G.h"
#include "setup/SuiteSetup.h"

#include <QFile>

TestSuite::TestSuite(bool demo) {
    if (!m_dir.isValid())
        throw TvError(ErrorNumber::PathFileAccess,
                      "No se puede crear la carpeta temporal: " + m_dir.errorString());
    if (TestEngine::Server())
        m_server = std::make_unique<TestEngine::ServerDatabase>();
    SuiteSetup::Create(Root(), demo, 0, m_server ? m_server->Config() : DbConfig());
    Utility::instance().SetLogFolder(DataDir());
    auto ui = std::make_unique<ScriptedUi>();
    m_ui = ui.get();
    m_previousUi = ::Ui::Install(std::move(ui));
}

TestSuite::~TestSuite() {
    ::Ui::Install(std::move(m_previousUi));
    DataAccess::instance().Close();
}

QString TestSuite::Root() const {
    return m_dir.path() + "/Tavelo";
}
QString TestSuite::DataDir() const {
    return Root() + "/Data";
}
QString TestSuite::IniPath() const {
    return DataDir() + "/Tavelo.ini";
}
void TestSuite::DropVeriFactuSection() const {
    QFile ini(IniPath());
    if (!ini.open(QIODevice::ReadWrite))
        throw TvError(ErrorNumber::PathFileAccess, "No se puede abrir " + IniPath());
    const QByteArray text = ini.readAll();
    ini.resize(0);
    ini.write(text.left(text.indexOf("\n[VeriFactu]")));
}

QString TestSuite::DbPath() const {
    return DataDir() + "/Tavelo.db";
}

void TestSuite::SignIn(const QString& login, const QString& password) {
    G::Init(login + ":" + password + "|" + Utility::instance().Today(true) + "|" + IniPath() +
            "|0|0|0|0");
}

void TestSuite::Snapshot() {
    DataAccess::instance().Close();
    if (m_server) {
        m_server->Snapshot();
        return;
    }
    QFile::remove(DbPath() + ".copia");
    if (!QFile::copy(DbPath(), DbPath() + ".copia"))
        throw TvError(ErrorNumber::PathFileAccess, "No se puede copiar " + DbPath());
}

void TestSuite::Restore() {
    DataAccess::instance().Close();
    if (m_server) {
        m_server->Restore();
        return;
    }
    for (const char* suffix : {"", "-wal", "-shm"})
        QFile::remove(DbPath() + suffix);
    if (!QFile::copy(DbPath() + ".copia", DbPath()))
        throw TvError(ErrorNumber::PathFileAccess, "No se puede volver a copiar " + DbPath());
}
