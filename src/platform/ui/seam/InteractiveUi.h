#pragma once

#include "platform/ui/seam/Ui.h"

// The seam of a person at the screen: Qt's message boxes, input box and save-file dialog, each
// owned by the active window.
class InteractiveUi : public Ui {
public:
    void Message(const QString& title, const QString& text, Icon icon) override;
    bool Confirm(const QString& title, const QString& text, Default byDefault) override;
    QString Input(const QString& title, const QString& prompt, const QString& defaultText) override;
    QString SaveFile(const QString& title, const QString& folder, const QString& defaultExtension,
                     const QString& filter) override;
    // A QDialog runs its own exec(); any other window is shown application-modal and a local
    // event loop runs until it is hidden, closed or destroyed.
    void ShowModal(QWidget& window) override;
    [[noreturn]] void Exit(int status) override;
};
