#pragma once

#include "platform/util/TypedNumber.h"

#include <QIcon>
#include <QKeySequence>
#include <QPointer>
#include <QWidget>
#include <functional>

class QAbstractButton;
class QComboBox;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QPushButton;
class QVBoxLayout;

// The window frame every window of the module carries: a title bar (caption, drag, close), a
// row of named tool buttons (tip, icon, Ctrl+letter shortcut), the window's own content, a row of
// named buttons, a visible notice line and, on a main window, a status bar of three panels.
//
// The frame raises the window's events by name: evtToolClick with the tool's name (or its
// shortcut letter when pressed from the keyboard), evtButtonPressed with the button's name,
// evtClose from the title bar's close, evtKeyDown for keys pressed in the window, evtActivate
// when the window is activated.
class Frm : public QWidget {
    Q_OBJECT
public:
    // Lays the frame out as window's whole content; the window's controls go into Content().
    Frm(QWidget* window, const QString& caption);

    QWidget* Window() const { return m_window; }
    QWidget* Content() const { return m_content; }
    void SetCaption(const QString& caption);
    QString Caption() const;

    // A tool button named name; letter, when given, is its Ctrl+letter shortcut. Editing keys
    // (Ctrl+C, V, X, A, Z) stay with a text field or grid that has the focus.
    QAbstractButton* AddTool(const QString& name, const QString& tip, const QIcon& icon,
                             QChar letter = {});
    QAbstractButton* Tool(const QString& name) const;
    void SetToolVisible(const QString& name, bool visible);

    // A named button in the button row.
    QPushButton* AddButton(const QString& name, const QString& caption);

    // A key that presses the named tool or button wherever the focus is in the window: the
    // frame takes it before any field, grid or mnemonic does. Meant for keys no field needs
    // (function keys, Alt+letter of a button); the caller keeps the tool's tip in step.
    void SetShortcut(const QString& name, const QKeySequence& key);

    // Whether the window shows a status bar. A main window has one; a dialog has none unless it
    // asks for one with SetStatusBar(true) (the report viewer shows its zoom there).
    bool StatusBar() const;
    void SetStatusBar(bool visible);
    // Writes panel 1..3 (nothing without a status bar). bold: strong text. colour: the suite's BGR
    // value (255 red, 0xFF0000 blue), -1 the normal colour. displayValue > 0 makes the text
    // transient: it clears after displayValue x 25 ms (200: five seconds); 0 keeps it.
    void Sb_PanelText_Set(int panel, const QString& text, bool bold = false, int colour = -1,
                          int alignment = 0, int displayValue = 0);
    QString PanelText(int panel) const;

    // Activation marker: 0 until SetActivated(true) marks the window's first activation done.
    qint16 nActivado = 0;
    void SetActivated(bool activated);
    int ActivationCount() const { return m_activations; }

    // Finishes any edit in progress (the focused editor commits) and asks every registered check;
    // true when the window's input can be acted on. showMessage: a failing check says why.
    bool InputCheck(bool showMessage);
    // Hands a grid cell being edited to its grid, once, and closes its editor. Every tool and
    // shortcut runs it first, so that no action works on a view that still holds typed text.
    void CommitPendingEdit();
    void AddInputCheck(std::function<bool(bool showMessage)> check);
    // A field for an amount, a percentage or a quantity, read with TypedNumber under the field's
    // accessible name. InputCheck refuses a text that does not read with the reader's message and
    // puts the cursor back in the field; so does leaving the field with such a text.
    void AddNumberField(QLineEdit* field, TypedNumber::Kind kind);
    // The value of a number field; false, value untouched, while its text does not read.
    static bool NumberValue(const QLineEdit* field, double& value);

    // Combo helpers. CBoxProperty_Set shows text in the combo and, when an entry has that text,
    // selects it and emits the combo's activated signal, so handlers run as for a user's choice.
    void CBoxProperty_Set(QComboBox* combo, const QString& text);
    // Selects the entry whose text is text; false when there is none.
    bool ComboSelectByText(QComboBox* combo, const QString& text);
    // The item data (id) of the selected entry; 0 when none is selected.
    qint64 ComboSelectedId(const QComboBox* combo) const;

    void SetFocusTo(QWidget* widget);
    // Closes the window (a dialog is rejected).
    void Close();

    // The notice line under the tool row (for example a client's debt); colour as above.
    void ShowNotice(const QString& text, int type = 1, bool bold = true, int colour = 255);
    void ClearNotice();
    QString NoticeText() const;

    // Enter moves to the next field, as Tab does.
    void SetReturnIsTab(bool on);
    // Enter in field keeps its own meaning (the last field of a form accepts it) whatever
    // SetReturnIsTab says.
    void KeepEnter(QWidget* field);
    bool ReturnIsTab() const { return m_returnIsTab; }

    // The frame of the active window; when no frame's window is active, the most recently
    // activated visible one, else the most recently activated one.
    static Frm* Active();
    // Where a notice meant for "the status bar" goes: the active window's bar, else the bar of
    // the window behind (the most recently activated visible one with a bar, as the billing
    // window behind a dialog); null when no window on screen has one.
    static Frm* StatusFrame();

Q_SIGNALS:
    void evtToolClick(const QString& name);
    void evtButtonPressed(const QString& name);
    void evtClose();
    void evtKeyDown(int key, Qt::KeyboardModifiers modifiers);
    void evtActivate();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    // Draws the border of a frameless dialog.
    void paintEvent(QPaintEvent* event) override;
    // Keeps a dialog's size grip in its corner.
    void resizeEvent(QResizeEvent* event) override;

private:
    // The title bar's close, Escape in a dialog and the window system's close all come here:
    // the window decides through evtClose; without a handler the frame closes it.
    void RequestClose();
    void Activated();
    void BuildStatusBar();
    bool KeyPressed(QWidget* receiver, QKeyEvent* event);
    // The tool or button bound to the key by SetShortcut, when it can be pressed now.
    QString ShortcutTarget(const QKeyEvent* event) const;
    void Press(const QString& name);
    bool WindowEvent(QEvent* event);
    // Shows why a number field's text does not read and brings the cursor back to it; false then.
    bool CheckNumberField(QLineEdit* field, bool showMessage);

    QPointer<QWidget> m_window;
    QWidget* m_content = nullptr;
    int m_activations = 0;
    bool m_returnIsTab = false;
    struct Private;
    std::shared_ptr<Private> d;
};
