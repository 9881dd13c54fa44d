// The seam for tests: what is shown recorded line by line, answers taken from queues.

#include "platform/ui/seam/ScriptedUi.h"

#include <QCoreApplication>
#include <QDialog>
#include <QPointer>
#include <QWidget>

namespace {
QString Line(const QString& title, const QString& text) {
    return QLatin1Char('[') + title + QStringLiteral("] ") + text;
}

template <typename T> T Next(std::deque<T>& queue, T fallback) {
    if (queue.empty())
        return fallback;
    T value = std::move(queue.front());
    queue.pop_front();
    return value;
}
} // namespace

void ScriptedUi::Message(const QString& title, const QString& text, Icon) {
    Shown.append(Line(title, text));
}

bool ScriptedUi::Confirm(const QString& title, const QString& text, Default byDefault) {
    Shown.append(Line(title, text));
    if (byDefault == Default::No)
        NoByDefault.append(text);
    return Next(Confirmations, false);
}

QString ScriptedUi::Input(const QString& title, const QString& prompt, const QString&) {
    Shown.append(Line(title, prompt));
    return Next(Inputs, QString());
}

QString ScriptedUi::SaveFile(const QString& title, const QString& folder, const QString&,
                             const QString&) {
    Shown.append(Line(title, folder));
    return Next(Files, QString());
}

void ScriptedUi::ShowModal(QWidget& window) {
    ++ModalCount;
    if (ModalActions.empty())
        return;
    // Taken off the queue first: the action may open further modal windows of its own.
    auto action = Next(ModalActions, std::function<void(QWidget&)>());
    QPointer<QWidget> guard(&window);
    window.show();
    QCoreApplication::processEvents();
    action(window);
    if (!guard || !guard->isVisible())
        return;
    if (auto* dialog = qobject_cast<QDialog*>(guard.data()))
        dialog->reject();
    else
        guard->close();
}

void ScriptedUi::Exit(int status) {
    throw ProgramEnded{status};
}
