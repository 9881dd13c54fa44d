#pragma once

#include "platform/ui/seam/Ui.h"

#include <QStringList>
#include <deque>

// The seam for tests: records every message, question, input box and dialog as one line
// "[title] text" in Shown, and answers from the queues the test filled (defaults when a queue is
// empty: No, empty input, cancelled file dialog). A modal window runs the next queued action with
// the window (the test clicks in it and closes it) or, when none is queued, returns at once as if
// closed without a choice. Exit throws ProgramEnded.
class ScriptedUi : public Ui {
public:
    QStringList Shown;
    // The texts of the questions asked with No as the default answer.
    QStringList NoByDefault;
    std::deque<bool> Confirmations;
    std::deque<QString> Inputs;
    std::deque<QString> Files;
    std::deque<std::function<void(QWidget&)>> ModalActions;
    int ModalCount = 0;

    void Message(const QString& title, const QString& text, Icon icon) override;
    bool Confirm(const QString& title, const QString& text, Default byDefault) override;
    QString Input(const QString& title, const QString& prompt, const QString& defaultText) override;
    QString SaveFile(const QString& title, const QString& folder, const QString& defaultExtension,
                     const QString& filter) override;
    void ShowModal(QWidget& window) override;
    [[noreturn]] void Exit(int status) override;
};
