#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

// Runs a program to its end and answers its standard output and error together, so that a
// complaint about the file shows in the test's message.
inline QString RunProgram(const QString& program, const QStringList& arguments,
                          int timeoutMs = 30000) {
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    process.waitForFinished(timeoutMs);
    return QString::fromUtf8(process.readAllStandardOutput());
}
