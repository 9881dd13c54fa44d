#pragma once

#include "platform/ui/seam/Ui.h"

#include <QDate>
#include <QFile>
#include <QRegularExpression>
#include <QString>
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

// Sets key=value in [section] of an ini file, adding the section or the key when missing.
inline void SetIniKey(const QString& path, const QString& section, const QString& key,
                      const QString& value) {
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    QString text = QString::fromUtf8(file.readAll());
    file.close();
    const QString line = key + "=" + value;
    const QRegularExpression sectionRe("^\\[" + section + "\\][^\\n]*\\n",
                                       QRegularExpression::MultilineOption);
    const auto header = sectionRe.match(text);
    if (!header.hasMatch()) {
        text += "\n[" + section + "]\n" + line + "\n";
    } else {
        const qsizetype start = header.capturedEnd();
        qsizetype end =
            text.indexOf(QRegularExpression("^\\[", QRegularExpression::MultilineOption), start);
        if (end < 0)
            end = text.size();
        QString body = text.mid(start, end - start);
        const QRegularExpression keyRe("^" + key + "\\s*=[^\\n]*",
                                       QRegularExpression::MultilineOption);
        if (body.contains(keyRe))
            body.replace(keyRe, line);
        else
            body = line + "\n" + body;
        text = text.left(start) + body + text.mid(end);
    }
    file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    file.write(text.toUtf8());
}

inline QString TodayNumber() {
    return QDate::currentDate().toString("yyyyMMdd");
}
