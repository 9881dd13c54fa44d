// The shared services: SQL literals, display values, texts, dates, files and the suite's programs.

#include "platform/util/Utility.h"

#include "platform/util/Decimal.h"
#include "platform/util/IniFile.h"
#include "platform/util/RunningPrograms.h"
#include "platform/util/TvError.h"

#include <QCoreApplication>
#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

namespace {

bool IsWholeNumber(const QVariant& value) {
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::SChar:
    case QMetaType::UChar:
        return true;
    default:
        return false;
    }
}

bool IsNumber(const QVariant& value) {
    return IsWholeNumber(value) || value.typeId() == QMetaType::Double ||
           value.typeId() == QMetaType::Float;
}

bool IsNull(const QVariant& value) {
    return !value.isValid() || value.isNull();
}

QString WholeNumberText(const QVariant& value) {
    if (value.typeId() == QMetaType::ULongLong || value.typeId() == QMetaType::ULong)
        return QString::number(value.toULongLong());
    return QString::number(value.toLongLong());
}

int DateNumber(const QDate& date) {
    return date.isValid() && date.year() >= 1 && date.year() <= 9999
               ? date.year() * 10000 + date.month() * 100 + date.day()
               : 0;
}

QDate DateOfNumber(qint64 number) {
    if (number <= 0)
        return {};
    const QDate date(int(number / 10000), int(number / 100 % 100), int(number % 100));
    return DateNumber(date) != 0 ? date : QDate();
}

// A date as the suite writes it: yyyymmdd (number or text), "dd/mm/yyyy" (one-digit day and
// month allowed), ISO "yyyy-mm-dd", or a QDate. Anything else is no date.
QDate ReadDate(const QVariant& value) {
    if (IsNull(value))
        return {};
    if (value.typeId() == QMetaType::QDate || value.typeId() == QMetaType::QDateTime)
        return DateNumber(value.toDate()) != 0 ? value.toDate() : QDate();
    if (IsNumber(value)) {
        const double number = value.toDouble();
        return number == std::floor(number) && std::fabs(number) < 1e9
                   ? DateOfNumber(qint64(number))
                   : QDate();
    }
    static const QRegularExpression compact(QStringLiteral("^(\\d{4})(\\d{2})(\\d{2})$"));
    static const QRegularExpression display(QStringLiteral("^(\\d{1,2})/(\\d{1,2})/(\\d{4})$"));
    static const QRegularExpression iso(QStringLiteral("^(\\d{4})-(\\d{2})-(\\d{2})$"));
    const QString text = value.toString().trimmed();
    QDate date;
    if (auto m = compact.match(text); m.hasMatch())
        date = QDate(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
    else if (auto m = display.match(text); m.hasMatch())
        date = QDate(m.captured(3).toInt(), m.captured(2).toInt(), m.captured(1).toInt());
    else if (auto m = iso.match(text); m.hasMatch())
        date = QDate(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
    return DateNumber(date) != 0 ? date : QDate();
}

QString ErrorLine(int number, const QString& description) {
    if (number == 0 && description.isEmpty())
        return {};
    return QStringLiteral("Error %1: %2").arg(number).arg(description);
}

} // namespace

Utility& Utility::instance() {
    static Utility utility;
    return utility;
}

QString Utility::GetRootPath(const QString& programFolder, const QString& suiteName) const {
    const QString folder = QDir::cleanPath(QFileInfo(programFolder).absoluteFilePath());
    for (QString candidate = folder;;) {
        if (QFileInfo(candidate).fileName().compare(suiteName, Qt::CaseInsensitive) == 0)
            return candidate;
        const QString parent = QFileInfo(candidate).absolutePath();
        if (parent == candidate)
            break;
        candidate = parent;
    }
    return QFileInfo(folder).absolutePath();
}

// The suite asks with 32, an ordinary file: a folder of that name (the directory attribute, 16)
// counts only when asked for.
bool Utility::FileExists(const QString& path, int attributes) const {
    const QFileInfo info(path);
    return !path.isEmpty() && (info.isFile() || (info.isDir() && (attributes & 16) != 0));
}

QString Utility::ReadIni(const QString& file, const QString& section, const QString& key,
                         const QString& def) const {
    return IniFile::Read(file, section, key, def);
}

QString Utility::Piece(const QString& text, const QString& delimiter, int index) const {
    if (index < 0)
        return {};
    if (delimiter.isEmpty())
        return index == 0 ? text : QString();
    return text.split(delimiter).value(index);
}

QString Utility::SqlValue(const QVariant& value, int decimals, bool flag) const {
    decimals = std::max(decimals, 0);
    if (flag) {
        if (IsNull(value))
            return QStringLiteral("NULL");
        if (value.typeId() == QMetaType::Bool)
            return value.toBool() ? QStringLiteral("1") : QStringLiteral("0");
        if (value.typeId() == QMetaType::QDate || value.typeId() == QMetaType::QDateTime) {
            const int date = DateNumber(value.toDate());
            return date != 0 ? QString::number(date) : QStringLiteral("NULL");
        }
        if (!IsNumber(value))
            return Quote(value.toString());
    }
    if (IsWholeNumber(value) && decimals == 0)
        return WholeNumberText(value);
    const double number = SqlNumber(value);
    return decimals > 0 ? Decimal::Fixed(number, decimals) : Decimal::Shortest(number);
}

double Utility::SqlNumber(const QVariant& value, int decimals) const {
    double number = 0;
    if (IsNull(value))
        number = 0;
    else if (value.typeId() == QMetaType::Bool)
        number = value.toBool() ? 1 : 0;
    else if (value.typeId() == QMetaType::QDate || value.typeId() == QMetaType::QDateTime)
        number = DateNumber(value.toDate());
    else if (IsNumber(value))
        number = value.toDouble();
    else if (!Decimal::Parse(value.toString(), &number))
        number = 0;
    return decimals > 0 ? RoundHalfAway(number, decimals) : number;
}

QVariant Utility::FormatDate(int style, const QVariant& value) const {
    const QDate date = ReadDate(value);
    switch (style) {
    case 2:
        return date.isValid() ? Utility::DayText(date) : QString();
    case 3:
        return DateNumber(date);
    default:
        throw TvError(ErrorNumber::InvalidCall,
                      QStringLiteral("Formato de fecha desconocido: %1").arg(style));
    }
}

QString Utility::FitText(int width, const QString& text, bool flag) const {
    double number = 0;
    if (Decimal::Parse(text, &number))
        return text.rightJustified(width, QLatin1Char(' '));
    return text.leftJustified(width, QLatin1Char(' '), flag);
}

QString Utility::Today(bool) const {
    return QDate::currentDate().toString(QStringLiteral("yyyyMMdd"));
}

QString Utility::AddToDate(const QString& interval, int count, const QVariant& date) const {
    const QDate from = ReadDate(date);
    if (!from.isValid())
        throw TvError(ErrorNumber::TypeMismatch,
                      QStringLiteral("No es una fecha válida: ") + date.toString());
    const QString unit = interval.trimmed().toLower();
    QDate to;
    if (unit == QLatin1String("d") || unit == QLatin1String("y") || unit == QLatin1String("w"))
        to = from.addDays(count);
    else if (unit == QLatin1String("ww"))
        to = from.addDays(qint64(count) * 7);
    else if (unit == QLatin1String("m"))
        to = from.addMonths(count);
    else if (unit == QLatin1String("q"))
        to = from.addMonths(count * 3);
    else if (unit == QLatin1String("yyyy"))
        to = from.addYears(count);
    else
        throw TvError(ErrorNumber::InvalidCall,
                      QStringLiteral("Intervalo de fecha desconocido: ") + interval);
    if (DateNumber(to) == 0)
        throw TvError(ErrorNumber::Overflow, QStringLiteral("Desbordamiento"));
    const bool display = date.toString().contains(QLatin1Char('/'));
    return display ? Utility::DayText(to) : QString::number(DateNumber(to));
}

bool Utility::IsExemptApp(const QCoreApplication* app) const {
    return app != nullptr && app->applicationName() == QLatin1String("Tavelo");
}

void Utility::SetCompanyName(const QString& name) {
    m_companyName = name;
}

void Utility::SetLogFolder(const QString& folder) {
    m_logFolder = folder;
}

void Utility::SetErrorDisplay(ErrorDisplay display) {
    m_errorDisplay = std::move(display);
}

void Utility::ShowError(const QString& procedure, const QString& extra, const QString& company,
                        int number, const QString& description, bool* out) const {
    const QString companyName = company.isEmpty() ? m_companyName : company;
    QStringList lines{QStringLiteral("Procedimiento: ") + procedure};
    if (const QString error = ErrorLine(number, description); !error.isEmpty())
        lines << error;
    if (!extra.isEmpty())
        lines << extra;
    if (!m_logFolder.isEmpty()) {
        QFile log(QDir(m_logFolder).filePath(QStringLiteral("errors.log")));
        if (log.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text)) {
            const QString stamp =
                QDateTime::currentDateTime().toString(QStringLiteral("dd/MM/yyyy HH:mm:ss"));
            const QString header = QStringLiteral("[%1] %2 (%3) %4")
                                       .arg(stamp, QCoreApplication::applicationName())
                                       .arg(QCoreApplication::applicationPid())
                                       .arg(companyName);
            log.write((QStringList{header} + lines).join(QLatin1Char('\n')).toUtf8() + "\n\n");
        }
    }
    const QString title = companyName.isEmpty() ? QStringLiteral("Error") : companyName;
    const QString text = lines.join(QLatin1Char('\n'));
    if (m_errorDisplay)
        m_errorDisplay(title, text);
    else
        std::fprintf(stderr, "[%s] %s\n", qPrintable(title), qPrintable(text));
    if (out != nullptr)
        *out = true;
}

void Utility::CloseApps(const QString& pattern) const {
    RunningPrograms::Close(pattern);
}

void Utility::RegisterRunningProgram(const QString& programName, qint64 pid) {
    RunningPrograms::Register(programName, pid);
}

QString Utility::RegistryFolder() {
    return RunningPrograms::Folder();
}

QString Utility::ReadTextFile(const QString& path) const {
    QFile file(path);
    if (!file.exists())
        throw TvError(ErrorNumber::FileNotFound,
                      QStringLiteral("No se ha podido encontrar el archivo: ") + path);
    if (!file.open(QIODevice::ReadOnly))
        throw TvError(ErrorNumber::PathFileAccess,
                      QStringLiteral("No se ha podido leer el archivo: ") + path);
    return QString::fromUtf8(file.readAll());
}

void Utility::DeleteFile(const QString& path) const {
    if (QFileInfo(path).isFile() && !QFile::remove(path))
        throw TvError(ErrorNumber::PathFileAccess,
                      QStringLiteral("No se ha podido borrar el archivo: ") + path);
}

QString Utility::GetVersion() const {
    return QStringLiteral("2");
}

int Utility::PaperFormNumber(const QString& printer, const QString& form) const {
    const qsizetype index = m_paperForms.value(printer).indexOf(form);
    return index < 0 ? 0 : 257 + int(index);
}

void Utility::DeletePaperForm(const QString& printer, const QString& form) {
    if (auto it = m_paperForms.find(printer); it != m_paperForms.end())
        it->removeAll(form);
}

void Utility::AddPaperForm(const QString& printer, const QString& form, qint32, qint32, quintptr) {
    QStringList& forms = m_paperForms[printer];
    if (!forms.contains(form))
        forms << form;
}

void Utility::RunModule(const QString& commandLine) const {
    const QString line = commandLine.trimmed();
    QString head = line;
    QString argument;
    if (const qsizetype exe = line.indexOf(QLatin1String(".exe "), 0, Qt::CaseInsensitive);
        exe >= 0) {
        head = line.left(exe + 4);
        argument = line.mid(exe + 5);
    } else if (!line.endsWith(QLatin1String(".exe"), Qt::CaseInsensitive)) {
        if (const qsizetype blank = line.indexOf(QLatin1Char(' ')); blank >= 0) {
            head = line.left(blank);
            argument = line.mid(blank + 1);
        }
    }
    head.replace(QLatin1Char('\\'), QLatin1Char('/'));
    QString program = head;
    if (!QFileInfo(program).isFile() &&
        program.endsWith(QLatin1String(".exe"), Qt::CaseInsensitive))
        program.chop(4);
    if (head.isEmpty() || !QFileInfo(program).isFile())
        throw TvError(ErrorNumber::FileNotFound,
                      QStringLiteral("No se ha podido encontrar el archivo: ") + head);
    const QStringList arguments = argument.isEmpty() ? QStringList() : QStringList{argument};
    if (!QProcess::startDetached(program, arguments, QFileInfo(program).absolutePath()))
        throw TvError(ErrorNumber::PathFileAccess,
                      QStringLiteral("No se ha podido iniciar el programa: ") + program);
}

double Utility::Val(const QString& text) {
    const QByteArray latin = text.toLatin1();
    const char* p = latin.constData();
    const char* end = p + latin.size();
    while (p != end && (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r'))
        ++p;
    std::string number;
    if (p != end && (*p == '-' || *p == '+'))
        number += *p++;
    bool point = false;
    for (; p != end && (std::isdigit(static_cast<unsigned char>(*p)) || (*p == '.' && !point));
         ++p) {
        point = point || *p == '.';
        number += *p;
    }
    // An exponent counts only when digits follow it ("1e3" is 1000, "1e" is 1).
    if (p != end && (*p == 'e' || *p == 'E' || *p == 'd' || *p == 'D')) {
        const char* q = p + 1;
        std::string exponent = "e";
        if (q != end && (*q == '-' || *q == '+'))
            exponent += *q++;
        for (; q != end && std::isdigit(static_cast<unsigned char>(*q)); ++q)
            exponent += *q;
        if (std::isdigit(static_cast<unsigned char>(exponent.back())))
            number += exponent;
    }
    const char* first = number.c_str() + (number.starts_with('+') ? 1 : 0);
    double value = 0;
    const auto result = std::from_chars(first, number.c_str() + number.size(), value);
    if (result.ec == std::errc::result_out_of_range)
        throw TvError(ErrorNumber::Overflow, QStringLiteral("Desbordamiento"));
    return result.ec == std::errc() ? value : 0;
}

namespace {
template <typename Int> Int ToWhole(double value) {
    const double rounded = std::nearbyint(value);
    if (!(rounded >= double(std::numeric_limits<Int>::min()) &&
          rounded <= double(std::numeric_limits<Int>::max())))
        throw TvError(ErrorNumber::Overflow, QStringLiteral("Desbordamiento"));
    return Int(rounded);
}
} // namespace

qint32 Utility::ToInt32(double value) {
    return ToWhole<qint32>(value);
}

qint16 Utility::ToInt16(double value) {
    return ToWhole<qint16>(value);
}

double Utility::RoundHalfAway(double value, int decimals) {
    const QByteArray text = Decimal::Fixed(value, decimals).toLatin1();
    double rounded = 0;
    std::from_chars(text.constData(), text.constData() + text.size(), rounded);
    return rounded;
}

QString Utility::NumberText(double value) {
    return Decimal::Shortest(value);
}

// Digit by digit: through the calendar's formatter, a day's text was a tenth of the register's
// verify, which writes one for every record.
QString Utility::DayText(const QDate& date, char16_t separator) {
    if (!date.isValid())
        return {};
    const int year = date.year();
    if (year < 0 || year > 9999) {
        const QString sep(separator);
        return date.toString(QStringLiteral("dd") + sep + QStringLiteral("MM") + sep +
                             QStringLiteral("yyyy"));
    }
    const auto digit = [](int n) { return char16_t(u'0' + n % 10); };
    const char16_t text[] = {
        digit(date.day() / 10), digit(date.day()), separator,          digit(date.month() / 10),
        digit(date.month()),    separator,         digit(year / 1000), digit(year / 100),
        digit(year / 10),       digit(year)};
    return QString(reinterpret_cast<const QChar*>(text), qsizetype(std::size(text)));
}

QString Utility::Quote(const QString& text) {
    QString quoted = text;
    // A NUL ends the statement's text for the engine, so it cannot stand inside a literal; it
    // means nothing in a clinic's data.
    quoted.remove(QChar(0));
    quoted.replace(QLatin1Char('\''), QLatin1String("''"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}
