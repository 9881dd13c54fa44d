// The seam of a person at the screen: Qt's message boxes, input box and file dialogs.

#include "platform/ui/seam/InteractiveUi.h"

#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QEventLoop>
#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QRegularExpression>
#include <cstdio>
#include <cstdlib>

namespace {
// What a title bar takes beside its text: the icon and the close, minimise and maximise buttons.
constexpr int kTitleBarButtons = 160;

QMessageBox::Icon BoxIcon(Ui::Icon icon) {
    switch (icon) {
    case Ui::Icon::Critical:
        return QMessageBox::Critical;
    case Ui::Icon::Exclamation:
        return QMessageBox::Warning;
    case Ui::Icon::Question:
        return QMessageBox::Question;
    case Ui::Icon::Information:
        break;
    }
    return QMessageBox::Information;
}

// A box is centred over its parent: the window the user is in. While the window system has not
// activated any (a frameless dialog just shown, focus gone to another program) the parent is the
// modal window in front, else a top-level window on screen, never the bare screen.
QWidget* Owner() {
    if (QWidget* active = QApplication::activeWindow())
        return active;
    if (QWidget* modal = QApplication::activeModalWidget())
        return modal;
    // Qt keeps no stacking order: a dialog on screen stands in front of the window it came from.
    QWidget* shown = nullptr;
    for (QWidget* window : QApplication::topLevelWidgets())
        if (window->isVisible() &&
            (window->windowType() == Qt::Dialog || (!shown && window->windowType() == Qt::Window)))
            shown = window;
    return shown;
}

// Ends the local loop of a modal window once the window is no longer on screen. A close event
// alone does not count: the window may refuse it and stay open.
class ModalWatch : public QObject {
public:
    explicit ModalWatch(QEventLoop& loop) : m_loop(loop) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Hide)
            m_loop.quit();
        return QObject::eventFilter(watched, event);
    }

private:
    QEventLoop& m_loop;
};
} // namespace

void InteractiveUi::Message(const QString& title, const QString& text, Icon icon) {
    QMessageBox box(BoxIcon(icon), title, text, QMessageBox::Ok, Owner());
    box.exec();
}

bool InteractiveUi::Confirm(const QString& title, const QString& text, Default byDefault) {
    QMessageBox box(QMessageBox::Question, title, text, QMessageBox::Yes | QMessageBox::No,
                    Owner());
    box.setDefaultButton(byDefault == Default::No ? QMessageBox::No : QMessageBox::Yes);
    box.setEscapeButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

QString InteractiveUi::Input(const QString& title, const QString& prompt,
                             const QString& defaultText) {
    QInputDialog dialog(Owner());
    dialog.setWindowTitle(title);
    dialog.setLabelText(prompt);
    dialog.setTextValue(defaultText);
    // Sized to its short prompt, the dialog is narrower than its title, which the window manager
    // then elides in the middle ("Libros…tables"): room for the title and the frame's buttons.
    // The dialog's layout sets its own minimum size, so the width goes to the field it holds.
    if (auto* field = dialog.findChild<QLineEdit*>())
        field->setMinimumWidth(dialog.fontMetrics().horizontalAdvance(title) + kTitleBarButtons);
    return dialog.exec() == QDialog::Accepted ? dialog.textValue() : QString();
}

QString InteractiveUi::SaveFile(const QString& title, const QString& folder,
                                const QString& defaultExtension, const QString& filter) {
    QFileDialog dialog(Owner(), title, folder, filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    QString suffix = defaultExtension;
    if (suffix.startsWith(QLatin1Char('.')))
        suffix.remove(0, 1);
    dialog.setDefaultSuffix(suffix);
    // Choosing another file type changes the name's extension with it, so that the type chosen is
    // the type written.
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog](const QString& f) {
        static const QRegularExpression firstPattern(QStringLiteral("\\*\\.(\\w+)"));
        const QString extension = firstPattern.match(f).captured(1);
        if (extension.isEmpty())
            return;
        dialog.setDefaultSuffix(extension);
        if (auto* name = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))) {
            const QString typed = name->text();
            const qsizetype dot = typed.lastIndexOf(QLatin1Char('.'));
            name->setText((dot > 0 ? typed.left(dot) : typed) + QLatin1Char('.') + extension);
        }
    });
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

void InteractiveUi::ShowModal(QWidget& window) {
    if (auto* dialog = qobject_cast<QDialog*>(&window)) {
        dialog->exec();
        return;
    }
    QPointer<QWidget> guard(&window);
    QEventLoop loop;
    ModalWatch watch(loop);
    QObject::connect(&window, &QObject::destroyed, &loop, &QEventLoop::quit);
    window.installEventFilter(&watch);
    window.setWindowModality(Qt::ApplicationModal);
    window.show();
    if (window.isVisible())
        loop.exec();
    if (guard)
        guard->removeEventFilter(&watch);
}

void InteractiveUi::Exit(int status) {
    std::fflush(nullptr);
    std::exit(status);
}
