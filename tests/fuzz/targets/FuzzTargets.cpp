// The fuzz targets: report files, expressions, SQL, ini files, start-up lines and values.

#include "FuzzTargets.h"

#include "platform/data/DataAccess.h"
#include "platform/data/SqlDialect.h"
#include "platform/report/Expression.h"
#include "platform/report/HtmlWriter.h"
#include "platform/report/ReportComponent.h"
#include "platform/report/ReportFile.h"
#include "platform/report/RtfWriter.h"
#include "platform/report/TextWriter.h"
#include "platform/util/TvError.h"
#include "platform/util/Utility.h"
#include "session/StartupLine.h"

#include <QFile>
#include <QTemporaryDir>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>

namespace {

// Inputs that reach the code through a file are written to one scratch folder.
QString Scratch(const QString& name, const QByteArray& data) {
    static const QTemporaryDir dir;
    QFile file(dir.filePath(name));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(data) != data.size())
        std::abort();
    return file.fileName();
}

// An in-memory database with the clients table the demo's listing reads, holding the values
// that have broken reports before: control characters, NULLs, an infinite amount.
void OpenDatabase() {
    DataAccess& db = DataAccess::instance();
    if (db.IsConnected())
        return;
    DbConfig config;
    config.sqliteFile = ":memory:";
    db.Open(config);
    db.ExecuteScript(
        "CREATE TABLE Clientes (nIdCliente INTEGER PRIMARY KEY, sCliente TEXT, sDomicilio TEXT, "
        "sPoblacion TEXT, nSaldo DOUBLE PRECISION, dAlta INTEGER, bActivo INTEGER);\n"
        "INSERT INTO Clientes (sCliente, sDomicilio, sPoblacion, nSaldo, dAlta, bActivo) VALUES "
        "('Ana García', 'C/ Mayor 5', 'Zaragoza', -12.5, 20260305, 1), "
        "('Seán O''Brien | Tavelo', 'C:\\\\x', NULL, 1e999, 0, 0), "
        "('Ruiz' || char(12) || char(0) || char(27), NULL, 'Lugo', NULL, 99999999, NULL);\n");
}

void ReadReportFile(const QByteArray& data) {
    const QString path = Scratch("Informe.xml", data);
    ReportFile::Library library;
    try {
        library = ReportFile::Read(path);
    } catch (const TvError&) {
        return;
    }
    OpenDatabase();
    for (const auto& [key, report] : library) {
        try {
            ReportComponent vsr;
            vsr.Load(path, report->Name());
            const PageModel model = vsr.Layout();
            TextWriter::ToText(model);
            HtmlWriter::ToHtml(model);
            RtfWriter::ToRtf(model);
        } catch (const TvError&) {
        }
    }
}

void ParseExpression(const QByteArray& data) {
    static const QStringList columns = {"dFactura", "bPagado", "sCliente", "nSaldo", "sGrupo"};
    static const Rows rows(columns, {{20260305, 1, "O'Brien", 1234.5, "A"},
                                     {0, 0, "  Ana ", -2.0, "A"},
                                     {QVariant(), QVariant(), QVariant(), 1e308, "B"}});
    const QString text = QString::fromUtf8(data);
    for (const QStringList* names : {&columns, static_cast<const QStringList*>(nullptr)}) {
        try {
            const Expression expression = Expression::Parse(text, names);
            Expression::AggregateCache cache;
            for (int row = -1; row < rows.RowCount(); ++row) {
                const Expression::Value value = expression.Evaluate(
                    {&rows, row, 0, 2, rows.RowCount(), row % 2 == 0, 2, 3, &cache});
                value.ToText();
                value.ToBool();
                if (value.IsNumeric())
                    Expression::FormatNumber(value.ToNumber(), text.left(40));
            }
        } catch (const Expression::Error&) {
        } catch (const TvError&) {
        }
    }
}

// Translating translated text changes nothing (docs/database.md): statements are translated
// wherever they pass, sometimes twice.
void TranslateSql(const QByteArray& data) {
    const QString sql = QString::fromUtf8(data);
    const QString once = SqlDialect::Translate(sql);
    if (SqlDialect::Translate(once) != once)
        std::abort();
    SqlDialect::WhereCondition(sql);
    SqlDialect::SplitTopLevel(sql);
    SqlDialect::SplitScript(sql);
    SqlDialect::IsQuery(sql);
    DataAccess::instance().SqlPart(sql, 2);
}

void ReadIniFile(const QByteArray& data) {
    const QString path = Scratch("Tavelo.ini", data);
    const Utility& u = Utility::instance();
    for (const char* section : {"Database", "Console", "Printers"})
        for (const char* key : {"DataPath", "Engine", "User", "ExpandedForms", "Listings"})
            u.ReadIni(path, section, key, "<no>");
    DbConfig::FromIni(path, "/datos");
}

void ReadStartupLine(const QByteArray& data) {
    const QString line = QString::fromUtf8(data);
    StartupLine::IniPath(line);
    StartupLine::Login(line);
    StartupLine::Password(line);
    const auto tryRead = [](const std::function<void()>& read) {
        try {
            read();
        } catch (const TvError&) {
        }
    };
    tryRead([&] { StartupLine::WorkingDate(line); });
    for (int piece = 3; piece <= 6; ++piece)
        tryRead([&] { StartupLine::Number(line, piece); });
}

// The first byte chooses the decimals; the next eight, when there are, are also read as a double.
void ConvertValues(const QByteArray& data) {
    if (data.isEmpty())
        return;
    const Utility& u = Utility::instance();
    const int decimals = static_cast<unsigned char>(data[0]) % 32;
    const QString text = QString::fromUtf8(data.mid(1));
    const auto tryRead = [](const std::function<void()>& read) {
        try {
            read();
        } catch (const TvError&) {
        }
    };
    QVariantList values = {text, decimals, QVariant()};
    if (data.size() >= 9) {
        double number = 0;
        std::memcpy(&number, data.constData() + 1, sizeof number);
        values << number;
        tryRead([&] { Utility::RoundHalfAway(number, decimals); });
        tryRead([&] { Utility::NumberText(number); });
        tryRead([&] { Utility::ToInt16(number); });
    }
    for (const QVariant& value : values) {
        tryRead([&] { u.SqlValue(value, decimals, true); });
        tryRead([&] { u.SqlValue(value, decimals, false); });
        tryRead([&] { u.SqlNumber(value, decimals); });
        tryRead([&] { u.FormatDate(2, value); });
        tryRead([&] { u.FormatDate(3, value); });
        for (const char* interval : {"d", "ww", "m", "q", "yyyy"})
            tryRead([&] { u.AddToDate(interval, decimals * 1000 - 9000, value); });
    }
    tryRead([&] { Utility::ToInt32(Utility::Val(text)); });
    u.FitText(decimals, text, decimals % 2 == 0);
    u.Piece(text, ",", decimals);
    Utility::Quote(text);
}

const std::map<QString, std::function<void(const QByteArray&)>>& Targets() {
    static const std::map<QString, std::function<void(const QByteArray&)>> targets = {
        {"report_file", ReadReportFile},
        {"expression", ParseExpression},
        {"sql", TranslateSql},
        {"ini", ReadIniFile},
        {"startup_line", ReadStartupLine},
        {"values", ConvertValues}};
    return targets;
}

} // namespace

namespace FuzzTargets {

QStringList Names() {
    QStringList names;
    for (const auto& [name, target] : Targets())
        names << name;
    return names;
}

void Run(const QString& name, const QByteArray& data) {
    const auto target = Targets().find(name);
    if (target == Targets().end())
        std::abort();
    target->second(data);
}

QStringList InputFolders(const QString& name) {
    QStringList folders{"tests/fuzz/corpus/" + name};
    if (name == "report_file")
        folders << "data/Reports";
    return folders;
}

} // namespace FuzzTargets
