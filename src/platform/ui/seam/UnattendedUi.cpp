// The seam for runs with nobody at the screen: lines on standard error, answered at once.

#include "platform/ui/seam/UnattendedUi.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <QWidget>
#include <cstdio>
#include <cstdlib>

namespace {
void Write(const QString& title, const QString& text) {
    const QByteArray line = UnattendedUi::Line(title, text).toUtf8() + '\n';
    std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stderr);
    std::fflush(stderr);
}
} // namespace

QString UnattendedUi::Line(const QString& title, const QString& text) {
    static const QRegularExpression lineBreak(QStringLiteral("\r\n|\n|\r"));
    QString flat = text;
    flat.replace(lineBreak, QStringLiteral(" "));
    return QLatin1Char('[') + title + QStringLiteral("] ") + flat;
}

void UnattendedUi::Message(const QString& title, const QString& text, Icon) {
    Write(title, text);
}

bool UnattendedUi::Confirm(const QString& title, const QString& text, Default) {
    Write(title, text);
    return false;
}

QString UnattendedUi::Input(const QString& title, const QString& prompt, const QString&) {
    Write(title, prompt);
    return {};
}

QString UnattendedUi::SaveFile(const QString& title, const QString& folder, const QString&,
                               const QString&) {
    Write(title, folder);
    return {};
}

void UnattendedUi::ShowModal(QWidget& window) {
    window.show();
    QCoreApplication::processEvents();
}

void UnattendedUi::Exit(int status) {
    std::fflush(nullptr);
    std::exit(status);
}
