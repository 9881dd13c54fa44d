// The suite's initialisation file read as its other programs read it.

#include "platform/util/IniFile.h"

#include <QFile>
#include <QStringDecoder>

namespace {

// Initialisation files written on other systems may be Latin-1; UTF-8 is tried first.
QString DecodeText(const QByteArray& bytes) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (utf8.hasError())
        text = QString::fromLatin1(bytes);
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    return text;
}

// A value written between double quotes (to keep blanks at its ends) loses them.
QString Unquoted(const QString& value) {
    if (value.size() >= 2 && value.startsWith(QLatin1Char('"')) && value.endsWith(QLatin1Char('"')))
        return value.mid(1, value.size() - 2);
    return value;
}

} // namespace

QString IniFile::Read(const QString& file, const QString& section, const QString& key,
                      const QString& def) {
    QFile ini(file);
    if (!ini.open(QIODevice::ReadOnly))
        return def;
    bool inSection = false;
    for (QString line : DecodeText(ini.readAll()).split(QLatin1Char('\n'))) {
        line = line.trimmed();
        if (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']'))) {
            inSection =
                line.mid(1, line.size() - 2).trimmed().compare(section, Qt::CaseInsensitive) == 0;
            continue;
        }
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (inSection && equals > 0 &&
            line.left(equals).trimmed().compare(key, Qt::CaseInsensitive) == 0)
            return Unquoted(line.mid(equals + 1).trimmed());
    }
    return def;
}
