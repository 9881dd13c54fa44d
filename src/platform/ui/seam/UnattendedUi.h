#pragma once

#include "platform/ui/seam/Ui.h"

// The seam for runs without anybody at the screen (TAVELO_UNATTENDED=1): every message,
// question, input box and file dialog becomes one line "[title] text" on standard error and is
// answered at once: OK, No, an empty input, a cancelled dialog. Modal windows never wait.
class UnattendedUi : public Ui {
public:
    void Message(const QString& title, const QString& text, Icon icon) override;
    bool Confirm(const QString& title, const QString& text, Default byDefault) override;
    QString Input(const QString& title, const QString& prompt, const QString& defaultText) override;
    QString SaveFile(const QString& title, const QString& folder, const QString& defaultExtension,
                     const QString& filter) override;
    void ShowModal(QWidget& window) override;
    [[noreturn]] void Exit(int status) override;

    // The line written for a dialog: line breaks inside text become blanks.
    static QString Line(const QString& title, const QString& text);
};
