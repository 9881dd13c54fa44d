#pragma once

#include "QtPrinting.h"

#include "TestSuite.h"

#include "platform/ui/seam/ScriptedUi.h"

#include <QDate>
#include <QFile>
#include <functional>

// The status the program would have ended with, or -1 when it went on.
inline int EndStatus(const std::function<void()>& run) {
    try {
        run();
    } catch (const ProgramEnded& end) {
        return end.status;
    }
    return -1;
}

inline bool Shown(const TestSuite& suite, const QString& text) {
    return suite.Ui().Shown.join('\n').contains(text);
}

// Rewrites the suite's ini with these lines after its [Database] section, which keeps its engine
// and server keys; dataPath, when given, replaces the data folder.
inline void WriteIni(const TestSuite& suite, const QString& lines,
                     const QString& dataPath = QString()) {
    QFile ini(suite.IniPath());
    ini.open(QIODevice::ReadOnly);
    QString database =
        "[Database]\nDataPath=" + (dataPath.isEmpty() ? suite.DataDir() : dataPath) + "\n";
    bool inDatabase = false;
    for (const QString& line : QString::fromUtf8(ini.readAll()).split('\n')) {
        if (line.startsWith('['))
            inDatabase = line == "[Database]";
        else if (inDatabase && !line.trimmed().isEmpty() && !line.startsWith("DataPath="))
            database += line + "\n";
    }
    ini.close();
    ini.open(QIODevice::WriteOnly | QIODevice::Truncate);
    ini.write((database + lines).toUtf8());
}

inline QString MenuLine(const TestSuite& suite, const QString& signIn,
                        const QString& date = "20261205", const QString& numbers = "0|0|0|0") {
    return signIn + "|" + date + "|" + suite.IniPath() + "|" + numbers;
}

inline QString TodayNumber() {
    return QDate::currentDate().toString("yyyyMMdd");
}
