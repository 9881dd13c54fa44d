// A program run without write access to a folder, as root or as a plain user.

#include "support/NoWriteAccess.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <unistd.h>

namespace {

constexpr QFile::Permissions ReadAll =
    QFile::ReadOwner | QFile::ReadUser | QFile::ReadGroup | QFile::ReadOther;
constexpr QFile::Permissions EnterAll =
    QFile::ExeOwner | QFile::ExeUser | QFile::ExeGroup | QFile::ExeOther;
constexpr QFile::Permissions WriteAll =
    QFile::WriteOwner | QFile::WriteUser | QFile::WriteGroup | QFile::WriteOther;

void Add(const QString& path, QFile::Permissions permissions) {
    QFile::setPermissions(path, QFile::permissions(path) | permissions);
}

// Everything below scratch readable by anybody, folders enterable; what root owns stays
// writable by root alone.
void OpenForReading(const QString& scratch) {
    Add(scratch, ReadAll | EnterAll);
    QDirIterator it(scratch, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        Add(path, QFileInfo(path).isDir() ? ReadAll | EnterAll : ReadAll);
    }
}

NoWriteAccessRun Skipped(const QString& why) {
    NoWriteAccessRun run;
    run.skipped = why;
    return run;
}

NoWriteAccessRun Run(const QString& program, const QStringList& arguments,
                     const QProcessEnvironment& environment) {
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    NoWriteAccessRun run;
    run.finished = process.waitForFinished(120000);
    if (!run.finished) {
        process.kill();
        process.waitForFinished();
    }
    run.status = process.exitCode();
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

} // namespace

NoWriteAccessRun RunWithoutWriteAccess(const QString& program, const QStringList& arguments,
                                       const QString& scratch, const QString& folder,
                                       const QString& writable,
                                       const QProcessEnvironment& environment) {
    QDir().mkpath(writable);
    if (geteuid() != 0) {
        const QFile::Permissions before = QFile::permissions(folder);
        QFile::setPermissions(folder, before & ~WriteAll);
        NoWriteAccessRun run = Run(program, arguments, environment);
        QFile::setPermissions(folder, before);
        return run;
    }
    // A copy inside scratch, since the build folder may be out of that user's reach.
    const QString copy = scratch + "/" + QFileInfo(program).fileName();
    if (!QFile::copy(program, copy))
        return Skipped("cannot copy " + program);
    OpenForReading(scratch);
    Add(copy, EnterAll);
    Add(writable, WriteAll);
    NoWriteAccessRun probe = Run("runuser", {"-u", "nobody", "--", "true"}, environment);
    if (!probe.finished || probe.status != 0)
        return Skipped("cannot run programs as user nobody: " + probe.err);
    return Run("runuser", QStringList{"-u", "nobody", "--", copy} + arguments, environment);
}
