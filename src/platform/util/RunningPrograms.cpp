// The registry of the suite's running programs, one file per process, and closing them.

#include "platform/util/RunningPrograms.h"

#include "platform/util/ArchivoSeguro.h"
#include "platform/util/TvError.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QStringList>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <sys/types.h>
#include <unistd.h>

namespace {

QString g_ownEntry;

void RemoveOwnEntry() {
    if (!g_ownEntry.isEmpty())
        QFile::remove(g_ownEntry);
}

QString ProcFile(qint64 pid, const char* name) {
    return QStringLiteral("/proc/%1/%2").arg(pid).arg(QLatin1String(name));
}

// Field 22 of /proc/<pid>/stat: the start time, which changes when an id is recycled. The
// command name before it may hold blanks and brackets, so fields are counted after its last ")".
QString StartTime(qint64 pid) {
    QFile stat(ProcFile(pid, "stat"));
    if (!stat.open(QIODevice::ReadOnly))
        return {};
    const QByteArray line = stat.readAll();
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 1).simplified().split(' ');
    return fields.size() > 19 ? QString::fromLatin1(fields[19]) : QString();
}

bool SameProgram(const QString& path, const QString& programName) {
    QString name = QFileInfo(path).fileName();
    if (name.endsWith(QLatin1String(".exe"), Qt::CaseInsensitive))
        name.chop(4);
    return !name.isEmpty() && name.compare(programName, Qt::CaseInsensitive) == 0;
}

// The process must still be that program: its executable, or the first or second word of its
// command line (the second covers a script run by an interpreter).
bool NamesProgram(qint64 pid, const QString& programName) {
    if (SameProgram(QFileInfo(ProcFile(pid, "exe")).symLinkTarget(), programName))
        return true;
    QFile cmdline(ProcFile(pid, "cmdline"));
    if (!cmdline.open(QIODevice::ReadOnly))
        return false;
    const QList<QByteArray> words = cmdline.readAll().split('\0');
    for (qsizetype i = 0; i < std::min<qsizetype>(words.size(), 2); ++i)
        if (SameProgram(QString::fromLocal8Bit(words[i]), programName))
            return true;
    return false;
}

} // namespace

namespace RunningPrograms {

QString Folder() {
    // Started outside a desktop session (the suite's menu through sudo, a terminal on the
    // server) there is no XDG_RUNTIME_DIR; Qt would fall back to the same folder with a warning
    // on every call.
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR"))
        return QDir::tempPath() + QStringLiteral("/runtime-") + QString::number(getuid()) +
               QStringLiteral("/tavelo");
    return QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation) +
           QStringLiteral("/tavelo");
}

void Register(const QString& programName, qint64 pid) {
    const bool own = pid == 0;
    if (own)
        pid = QCoreApplication::applicationPid();
    QDir().mkpath(Folder());
    const QString path = Folder() + QLatin1Char('/') + QString::number(pid);
    // Best effort: a program that cannot say it runs still runs.
    try {
        ArchivoSeguro::Escribir(path,
                                QStringList{programName, QString::number(pid), StartTime(pid)}
                                    .join(QLatin1Char('\n'))
                                    .toUtf8(),
                                ArchivoSeguro::Sustituir::Siempre);
    } catch (const TvError&) {
        return;
    }
    if (!own)
        return;
    if (g_ownEntry.isEmpty())
        std::atexit(RemoveOwnEntry);
    g_ownEntry = path;
}

void Close(const QString& pattern) {
    const QRegularExpression match(QRegularExpression::wildcardToRegularExpression(pattern),
                                   QRegularExpression::CaseInsensitiveOption);
    const qint64 self = QCoreApplication::applicationPid();
    const QDir folder(Folder());
    for (const QString& entry : folder.entryList(QDir::Files)) {
        QFile file(folder.filePath(entry));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
        file.close();
        bool ok = false;
        const qint64 pid = lines.value(1).toLongLong(&ok);
        if (!ok || pid <= 0 || pid == self)
            continue;
        const QString started = lines.value(2);
        if (!QFileInfo::exists(ProcFile(pid, "stat")) ||
            (!started.isEmpty() && StartTime(pid) != started)) {
            file.remove();
            continue;
        }
        const QString name = lines.value(0);
        if (match.match(name).hasMatch() && NamesProgram(pid, name))
            ::kill(pid_t(pid), SIGTERM);
    }
}

} // namespace RunningPrograms
