#pragma once

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

// How a program run without write access to a folder ended. skipped says why the run could not
// be arranged on this machine (the test then skips).
struct NoWriteAccessRun {
    QString skipped;
    bool finished = false;
    int status = -1;
    QString out, err;
};

// Runs program so that it cannot write to folder nor to the files in it, as a user whose data
// folder is read-only: when the tests run as root (who writes anywhere) the program runs as user
// "nobody", from a copy inside scratch, with scratch opened to that user for reading; otherwise
// the folder's write permissions are taken away for the run. writable is a folder inside scratch
// that the program may write to either way (for its output).
NoWriteAccessRun RunWithoutWriteAccess(
    const QString& program, const QStringList& arguments, const QString& scratch,
    const QString& folder, const QString& writable,
    const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment());
