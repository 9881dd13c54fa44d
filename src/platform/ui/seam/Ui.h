#pragma once

#include <QString>
#include <functional>
#include <memory>

class QWidget;

// The one seam between the program and the person at the screen: message boxes, confirmations,
// input boxes, file dialogs, showing a window modally and ending the program. Production uses
// Qt's dialogs (InteractiveUi); tests plug in ScriptedUi; TAVELO_UNATTENDED=1 selects
// UnattendedUi, which answers everything at once on standard error.
class Ui {
public:
    enum class Icon { Information, Critical, Exclamation, Question };
    // The answer that Enter gives: No for a question whose Yes issues a document or books money.
    enum class Default { Yes, No };

    virtual ~Ui() = default;

    // The seam in force; created on first use from the environment.
    static Ui& current();
    // Replaces the seam in force (tests); answers the previous one.
    static std::unique_ptr<Ui> Install(std::unique_ptr<Ui> ui);

    virtual void Message(const QString& title, const QString& text, Icon icon) = 0;
    // Yes/No question; true for Yes.
    virtual bool Confirm(const QString& title, const QString& text, Default byDefault) = 0;
    // Input box; empty when cancelled.
    virtual QString Input(const QString& title, const QString& prompt,
                          const QString& defaultText) = 0;
    // Save-file dialog; empty when cancelled. folder is a folder or a suggested file's path;
    // filter as "Pdf (*.pdf)", or several joined by ";;" (the file types the user may pick).
    virtual QString SaveFile(const QString& title, const QString& folder,
                             const QString& defaultExtension, const QString& filter) = 0;
    // Shows the window modally and returns when it is closed.
    virtual void ShowModal(QWidget& window) = 0;
    // Ends the program with status (after EndProgram has run the clean-up steps).
    [[noreturn]] virtual void Exit(int status) = 0;
};

// Thrown by ScriptedUi::Exit so that a test sees where the program would have ended.
struct ProgramEnded {
    int status;
};

// "The program ends": runs the clean-up steps the layers registered (ProgramEnd; the database
// rolls back any open transaction and closes) and leaves through the seam; status is non-zero
// after an error.
[[noreturn]] void EndProgram(int status);

// The folder a save dialog proposes when the caller has none of its own: the user's documents
// folder, or the home folder where there is none.
QString DocumentsFolder();
