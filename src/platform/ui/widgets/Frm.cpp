// The frame of every window: title bar, tool buttons, content, buttons, notice and status bar.

#include "platform/ui/widgets/Frm.h"

#include "platform/report/AmountText.h"
#include "platform/ui/seam/Ui.h"
#include "platform/ui/widgets/ToolIcons.h"

#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QFocusEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMetaMethod>
#include <QMouseEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSizeGrip>
#include <QTextEdit>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWindow>
#include <array>
#include <vector>

namespace {
constexpr int PanelCount = 3;
constexpr int TransientTick = 25; // ms per unit of a status text's display value

// Frames alive, for Frm::Active; a destroyed frame leaves a null entry behind.
std::vector<QPointer<Frm>>& Frames() {
    static std::vector<QPointer<Frm>> frames;
    return frames;
}

QColor FromBgr(int colour) {
    return QColor(colour & 0xFF, (colour >> 8) & 0xFF, (colour >> 16) & 0xFF);
}

Qt::Alignment PanelAlignment(int alignment) {
    switch (alignment) {
    case 1:
        return Qt::AlignRight | Qt::AlignVCenter;
    case 2:
        return Qt::AlignCenter;
    default:
        return Qt::AlignLeft | Qt::AlignVCenter;
    }
}

QString LabelStyle(bool bold, int colour) {
    QString style =
        bold ? QStringLiteral("font-weight: bold;") : QStringLiteral("font-weight: normal;");
    if (colour >= 0)
        style += QStringLiteral("color: %1;").arg(FromBgr(colour).name());
    return style;
}

QAbstractItemView* ItemViewAround(QWidget* widget) {
    for (QWidget* w = widget; w && !w->isWindow(); w = w->parentWidget())
        if (auto* view = qobject_cast<QAbstractItemView*>(w))
            return view;
    return nullptr;
}

// Widgets that own the standard editing keys while they have the focus.
bool IsEditor(QWidget* widget) {
    if (qobject_cast<QLineEdit*>(widget) || qobject_cast<QTextEdit*>(widget) ||
        qobject_cast<QPlainTextEdit*>(widget) || qobject_cast<QAbstractSpinBox*>(widget))
        return true;
    if (auto* combo = qobject_cast<QComboBox*>(widget))
        return combo->isEditable();
    return ItemViewAround(widget) != nullptr;
}

const char* const NumberKindProperty = "typedNumberKind";

bool IsNumberField(const QObject* object) {
    return object->property(NumberKindProperty).isValid() && qobject_cast<const QLineEdit*>(object);
}

TypedNumber::Reading ReadNumberField(const QLineEdit* field) {
    const QString name =
        field->accessibleName().isEmpty() ? field->toolTip() : field->accessibleName();
    return TypedNumber::Read(field->text(),
                             TypedNumber::Kind(field->property(NumberKindProperty).toInt()), name);
}

bool IsEditingKey(int key) {
    return key == Qt::Key_C || key == Qt::Key_V || key == Qt::Key_X || key == Qt::Key_A ||
           key == Qt::Key_Z;
}

const char* const KeepsEnterProperty = "keepsEnter";

// Single-line fields in which Enter may act as Tab; a grid's cell editor keeps its Enter.
bool IsReturnField(QWidget* widget) {
    if (ItemViewAround(widget) || widget->property(KeepsEnterProperty).toBool())
        return false;
    return qobject_cast<QLineEdit*>(widget) || qobject_cast<QComboBox*>(widget) ||
           qobject_cast<QAbstractSpinBox*>(widget);
}

const char* const FrameStyle = R"(
#FrmTitleBar { background: #F1F4F8; border-bottom: 1px solid #D5DCE4; }
#lblTitle { color: #1E293B; font-weight: bold; font-size: 11pt; padding-left: 2px; }
#FrmTitleBar QToolButton { border: 1px solid transparent; border-radius: 5px; padding: 3px; }
#FrmTitleBar QToolButton:hover { background: #E2E8F0; border-color: #CBD5E1; }
#FrmTitleBar QToolButton:pressed { background: #CBD5E1; }
#TitleBarClose_NA:hover { background: #E5484D; border-color: #E5484D; }
#FrmNotice { padding: 6px 12px; border-bottom: 1px solid #F3C4C4; background: #FDF1F1; }
#FrmNotice[noticeType="0"] { border-bottom: 1px solid #C7D7F2; background: #F0F5FD; }
#FrmButtonRow { background: #F7F9FB; border-top: 1px solid #E2E8F0; }
#FrmButtonRow QPushButton { min-width: 96px; min-height: 26px; padding: 2px 14px; }
#FrmStatusBar { background: #EEF1F5; border-top: 1px solid #D5DCE4; }
)";

// The caption band: a press and move on it drags the window (frameless dialogs have no other
// way to be moved); a double click toggles a resizable window between maximised and normal.
class TitleBar : public QFrame {
public:
    using QFrame::QFrame;

protected:
    void mousePressEvent(QMouseEvent* event) override {
        if (event->button() != Qt::LeftButton)
            return QFrame::mousePressEvent(event);
        QWidget* top = window();
        if (top->windowHandle() && top->windowHandle()->startSystemMove())
            return;
        m_dragging = true;
        m_offset = event->globalPosition().toPoint() - top->frameGeometry().topLeft();
        event->accept();
    }
    void mouseMoveEvent(QMouseEvent* event) override {
        if (!m_dragging)
            return QFrame::mouseMoveEvent(event);
        window()->move(event->globalPosition().toPoint() - m_offset);
        event->accept();
    }
    void mouseReleaseEvent(QMouseEvent* event) override {
        m_dragging = false;
        QFrame::mouseReleaseEvent(event);
    }
    void mouseDoubleClickEvent(QMouseEvent* event) override {
        QWidget* top = window();
        if (event->button() == Qt::LeftButton && !qobject_cast<QDialog*>(top))
            top->isMaximized() ? top->showNormal() : top->showMaximized();
    }

private:
    bool m_dragging = false;
    QPoint m_offset;
};
} // namespace

struct Frm::Private {
    TitleBar* titleBar = nullptr;
    QLabel* caption = nullptr;
    QHBoxLayout* tools = nullptr;
    QToolButton* close = nullptr;
    QLabel* notice = nullptr;
    QWidget* buttonRow = nullptr;
    QHBoxLayout* buttons = nullptr;
    QFrame* statusBar = nullptr; // built on first use: dialogs have none unless they ask
    QSizeGrip* grip = nullptr;   // a frameless dialog's corner
    bool edge = false;           // a frameless dialog draws its own border
    std::array<QLabel*, PanelCount> panels{};
    std::array<QTimer*, PanelCount> panelTimers{};
    QHash<QString, QAbstractButton*> toolByName;
    QHash<int, QString> toolByKey; // Qt::Key_A.. -> tool name
    QHash<QString, QPushButton*> buttonByName;
    QHash<int, QString> shortcuts; // key combination -> tool or button name
    std::vector<std::function<bool(bool)>> checks;
    bool active = false;
    bool leftForOtherProgram = false;
    bool closing = false;
    bool inCloseEvent = false;
    bool closeAccepted = false;
    bool sendingTab = false;
    quint64 activationStamp = 0;
};

Frm::Frm(QWidget* window, const QString& caption)
    : QWidget(window), m_window(window), d(std::make_shared<Private>()) {
    setObjectName(QStringLiteral("Frm"));
    setStyleSheet(QString::fromLatin1(FrameStyle));

    const bool dialog = qobject_cast<QDialog*>(window) != nullptr;
    if (dialog)
        window->setWindowFlags(window->windowFlags() | Qt::FramelessWindowHint);

    auto* frame = new QVBoxLayout(this);
    frame->setContentsMargins(0, 0, 0, 0);
    frame->setSpacing(0);

    d->titleBar = new TitleBar(this);
    d->titleBar->setObjectName(QStringLiteral("FrmTitleBar"));
    auto* title = new QHBoxLayout(d->titleBar);
    title->setContentsMargins(12, 5, 6, 5);
    title->setSpacing(2);
    d->caption = new QLabel(d->titleBar);
    d->caption->setObjectName(QStringLiteral("lblTitle"));
    title->addWidget(d->caption, 1);
    d->tools = new QHBoxLayout;
    d->tools->setSpacing(2);
    title->addLayout(d->tools);
    title->addSpacing(10);
    d->close = new QToolButton(d->titleBar);
    d->close->setObjectName(QStringLiteral("TitleBarClose_NA"));
    d->close->setIcon(ToolIcons::Get(ToolIcons::Kind::Close));
    d->close->setIconSize(QSize(18, 18));
    d->close->setToolTip(QStringLiteral("Cerrar"));
    d->close->setAutoRaise(true);
    d->close->setFocusPolicy(Qt::NoFocus);
    connect(d->close, &QToolButton::clicked, this, &Frm::RequestClose);
    title->addWidget(d->close);
    frame->addWidget(d->titleBar);

    d->notice = new QLabel(this);
    d->notice->setObjectName(QStringLiteral("FrmNotice"));
    d->notice->setWordWrap(true);
    d->notice->hide();
    frame->addWidget(d->notice);

    m_content = new QWidget(this);
    m_content->setObjectName(QStringLiteral("FrmContent"));
    frame->addWidget(m_content, 1);

    d->buttonRow = new QWidget(this);
    d->buttonRow->setObjectName(QStringLiteral("FrmButtonRow"));
    d->buttonRow->setAttribute(Qt::WA_StyledBackground);
    d->buttons = new QHBoxLayout(d->buttonRow);
    d->buttons->setContentsMargins(12, 8, 12, 8);
    d->buttons->setSpacing(8);
    d->buttons->addStretch(1);
    d->buttonRow->hide();
    frame->addWidget(d->buttonRow);

    // A dialog is a short errand over the window it was opened from: that window's status bar
    // carries the notices, and a bar of its own would only stay empty. Without the window
    // system's border a size grip in the corner is what lets it be resized.
    if (dialog) {
        d->grip = new QSizeGrip(this);
        d->grip->resize(d->grip->sizeHint());
    } else {
        SetStatusBar(true);
    }

    if (auto* main = qobject_cast<QMainWindow*>(window)) {
        main->setCentralWidget(this);
    } else {
        auto* outer = window->layout() ? window->layout() : new QVBoxLayout(window);
        outer->setContentsMargins(0, 0, 0, 0);
        outer->setSpacing(0);
        outer->addWidget(this);
    }
    if (dialog) {
        // Without the window system's border a dialog draws its own edge, so that it stands
        // out from the window behind it.
        frame->setContentsMargins(1, 1, 1, 1);
        d->edge = true;
    }

    SetCaption(caption);
    Frames().push_back(this);
    qApp->installEventFilter(this);
}

void Frm::SetCaption(const QString& caption) {
    d->caption->setText(caption.trimmed());
    if (m_window)
        m_window->setWindowTitle(caption.trimmed());
}

QString Frm::Caption() const {
    return d->caption->text();
}

QAbstractButton* Frm::AddTool(const QString& name, const QString& tip, const QIcon& icon,
                              QChar letter) {
    auto* tool = new QToolButton(d->titleBar);
    tool->setObjectName(name);
    tool->setToolTip(tip);
    tool->setIcon(icon.isNull() ? ToolIcons::Letter(letter.isNull() ? name.at(0) : letter) : icon);
    tool->setIconSize(QSize(24, 24));
    tool->setAutoRaise(true);
    tool->setFocusPolicy(Qt::NoFocus);
    tool->setCursor(Qt::PointingHandCursor);
    connect(tool, &QToolButton::clicked, this, [this, name] {
        CommitPendingEdit();
        Q_EMIT evtToolClick(name);
    });
    d->tools->addWidget(tool);
    d->toolByName.insert(name, tool);
    if (letter.isLetter())
        d->toolByKey.insert(Qt::Key_A + (letter.toUpper().unicode() - u'A'), name);
    return tool;
}

QAbstractButton* Frm::Tool(const QString& name) const {
    return d->toolByName.value(name);
}

void Frm::SetToolVisible(const QString& name, bool visible) {
    if (auto* tool = Tool(name))
        tool->setVisible(visible);
}

QPushButton* Frm::AddButton(const QString& name, const QString& caption) {
    auto* button = new QPushButton(caption, d->buttonRow);
    button->setObjectName(name);
    connect(button, &QPushButton::clicked, this, [this, name] { Q_EMIT evtButtonPressed(name); });
    d->buttons->addWidget(button);
    d->buttonRow->show();
    d->buttonByName.insert(name, button);
    return button;
}

void Frm::SetShortcut(const QString& name, const QKeySequence& key) {
    if (!key.isEmpty())
        d->shortcuts.insert(key[0].toCombined(), name);
}

QString Frm::ShortcutTarget(const QKeyEvent* event) const {
    const int combined =
        QKeyCombination(event->modifiers() & ~Qt::KeypadModifier, Qt::Key(event->key()))
            .toCombined();
    const QString name = d->shortcuts.value(combined);
    QWidget* target = d->toolByName.value(name);
    if (!target)
        target = d->buttonByName.value(name);
    if (!target || !target->isVisibleTo(m_window) || !target->isEnabled())
        return {};
    return name;
}

void Frm::Press(const QString& name) {
    CommitPendingEdit();
    if (d->toolByName.contains(name))
        Q_EMIT evtToolClick(name);
    else
        Q_EMIT evtButtonPressed(name);
}

bool Frm::StatusBar() const {
    return d->statusBar && !d->statusBar->isHidden();
}

void Frm::SetStatusBar(bool visible) {
    if (!d->statusBar && visible)
        BuildStatusBar();
    if (d->statusBar)
        d->statusBar->setVisible(visible);
}

void Frm::BuildStatusBar() {
    d->statusBar = new QFrame(this);
    d->statusBar->setObjectName(QStringLiteral("FrmStatusBar"));
    auto* status = new QHBoxLayout(d->statusBar);
    status->setContentsMargins(4, 2, d->grip ? d->grip->width() + 2 : 2, 2);
    status->setSpacing(3);
    for (int i = 0; i < PanelCount; ++i) {
        auto* panel = new QLabel(d->statusBar);
        panel->setObjectName(QStringLiteral("FrmPanel%1").arg(i + 1));
        panel->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
        panel->setMargin(2);
        panel->setMinimumWidth(i == 0 ? 120 : i == 1 ? 90 : 170);
        status->addWidget(panel, i == 0 ? 1 : 0);
        d->panels[i] = panel;
        auto* timer = new QTimer(this);
        timer->setSingleShot(true);
        connect(timer, &QTimer::timeout, panel, [panel] {
            panel->clear();
            panel->setStyleSheet({});
        });
        d->panelTimers[i] = timer;
    }
    layout()->addWidget(d->statusBar);
    if (d->grip)
        d->grip->raise();
}

void Frm::Sb_PanelText_Set(int panel, const QString& text, bool bold, int colour, int alignment,
                           int displayValue) {
    if (panel < 1 || panel > PanelCount || !d->statusBar)
        return;
    QLabel* label = d->panels[panel - 1];
    label->setText(text);
    label->setStyleSheet(LabelStyle(bold, colour));
    label->setAlignment(PanelAlignment(alignment));
    QTimer* timer = d->panelTimers[panel - 1];
    if (displayValue > 0)
        timer->start(displayValue * TransientTick);
    else
        timer->stop();
}

QString Frm::PanelText(int panel) const {
    if (panel < 1 || panel > PanelCount || !d->statusBar)
        return {};
    return d->panels[panel - 1]->text();
}

void Frm::SetActivated(bool activated) {
    nActivado = activated ? 1 : 0;
}

void Frm::CommitPendingEdit() {
    QWidget* focused = QApplication::focusWidget();
    if (!focused || !m_window || !m_window->isAncestorOf(focused))
        return;
    QAbstractItemView* view = ItemViewAround(focused);
    if (!view || focused == view)
        return;
    // The editor is the view's own child widget; the focus may be inside it (a combo's line).
    QWidget* editor = focused;
    while (editor->parentWidget() && editor->parentWidget() != view->viewport())
        editor = editor->parentWidget();
    QAbstractItemDelegate* delegate = view->itemDelegateForIndex(view->currentIndex());
    if (!delegate || editor->parentWidget() != view->viewport())
        return;
    // Closing the editor takes it out of the delegate's watch before it loses the focus, so that
    // focus-out does not commit it a second time.
    Q_EMIT delegate->commitData(editor);
    Q_EMIT delegate->closeEditor(editor, QAbstractItemDelegate::NoHint);
    view->setFocus(Qt::OtherFocusReason);
}

bool Frm::InputCheck(bool showMessage) {
    CommitPendingEdit();
    // Leaving the focused field is what commits it: a line edit raises editingFinished.
    if (QWidget* focused = QApplication::focusWidget();
        focused && m_window && m_window->isAncestorOf(focused))
        focused->clearFocus();
    const auto fields = m_window ? m_window->findChildren<QLineEdit*>() : QList<QLineEdit*>();
    for (QLineEdit* field : fields) {
        if (!field->validator() || field->hasAcceptableInput() || !field->isVisibleTo(m_window) ||
            !field->isEnabled())
            continue;
        if (showMessage) {
            const QString name =
                field->accessibleName().isEmpty() ? field->toolTip() : field->accessibleName();
            Ui::current().Message(QStringLiteral("Aviso"),
                                  name.isEmpty()
                                      ? QStringLiteral("Hay un dato que no es válido.")
                                      : QStringLiteral("El dato \"%1\" no es válido.").arg(name),
                                  Ui::Icon::Exclamation);
            field->setFocus(Qt::OtherFocusReason);
        }
        return false;
    }
    for (QLineEdit* field : fields)
        if (IsNumberField(field) && field->isVisibleTo(m_window) && field->isEnabled() &&
            !CheckNumberField(field, showMessage))
            return false;
    for (const auto& check : d->checks)
        if (!check(showMessage))
            return false;
    return true;
}

void Frm::AddNumberField(QLineEdit* field, TypedNumber::Kind kind) {
    field->setProperty(NumberKindProperty, int(kind));
}

bool Frm::NumberValue(const QLineEdit* field, double& value) {
    const TypedNumber::Reading reading = ReadNumberField(field);
    if (reading.Ok())
        value = reading.value;
    return reading.Ok();
}

bool Frm::CheckNumberField(QLineEdit* field, bool showMessage) {
    const TypedNumber::Reading reading = ReadNumberField(field);
    if (reading.Ok())
        return true;
    if (showMessage) {
        Ui::current().Message(QStringLiteral("Aviso"), reading.error, Ui::Icon::Exclamation);
        field->setFocus(Qt::OtherFocusReason);
        field->selectAll();
    }
    return false;
}

void Frm::AddInputCheck(std::function<bool(bool showMessage)> check) {
    d->checks.push_back(std::move(check));
}

void Frm::CBoxProperty_Set(QComboBox* combo, const QString& text) {
    if (!combo)
        return;
    const int index = combo->findText(text, Qt::MatchExactly);
    if (index < 0) {
        combo->setCurrentIndex(-1);
        if (combo->isEditable())
            combo->setEditText(text);
        return;
    }
    combo->setCurrentIndex(index);
    Q_EMIT combo->activated(index);
    Q_EMIT combo->textActivated(combo->itemText(index));
}

bool Frm::ComboSelectByText(QComboBox* combo, const QString& text) {
    if (!combo)
        return false;
    const int index = combo->findText(text, Qt::MatchExactly);
    if (index < 0)
        return false;
    combo->setCurrentIndex(index);
    return true;
}

qint64 Frm::ComboSelectedId(const QComboBox* combo) const {
    if (!combo || combo->currentIndex() < 0)
        return 0;
    // Text typed over a selection no longer names the selected entry.
    if (combo->isEditable() && combo->currentText() != combo->itemText(combo->currentIndex()))
        return 0;
    return combo->currentData().toLongLong();
}

void Frm::SetFocusTo(QWidget* widget) {
    if (widget && widget->isEnabled())
        widget->setFocus(Qt::OtherFocusReason);
}

void Frm::Close() {
    if (!m_window)
        return;
    auto* dialog = qobject_cast<QDialog*>(m_window.data());
    if (d->inCloseEvent) {
        // Inside the window's own close event a second close() would be ignored by Qt: the
        // event is accepted instead, and a dialog is rejected so that its result says so.
        d->closeAccepted = true;
        if (dialog)
            dialog->reject();
        return;
    }
    d->closing = true;
    if (dialog)
        dialog->reject();
    else
        m_window->close();
    d->closing = false;
}

void Frm::ShowNotice(const QString& text, int type, bool bold, int colour) {
    if (text.isEmpty())
        return ClearNotice();
    d->notice->setText(text);
    d->notice->setProperty("noticeType", QString::number(type));
    // The frame's style sheet draws the band (by type); the text's own look goes on top of it,
    // and setting it re-polishes the band for the new type.
    d->notice->setStyleSheet(LabelStyle(bold, colour));
    d->notice->show();
}

void Frm::ClearNotice() {
    d->notice->clear();
    d->notice->hide();
}

QString Frm::NoticeText() const {
    return d->notice->text();
}

void Frm::SetReturnIsTab(bool on) {
    m_returnIsTab = on;
}

void Frm::KeepEnter(QWidget* field) {
    field->setProperty(KeepsEnterProperty, true);
}

Frm* Frm::Active() {
    QWidget* active = QApplication::activeWindow();
    Frm* latest = nullptr;
    Frm* latestVisible = nullptr;
    for (const QPointer<Frm>& frame : Frames()) {
        if (!frame || !frame->m_window)
            continue;
        if (active && frame->m_window->window() == active)
            return frame;
        if (!latest || frame->d->activationStamp > latest->d->activationStamp)
            latest = frame;
        if (frame->m_window->isVisible() &&
            (!latestVisible || frame->d->activationStamp > latestVisible->d->activationStamp))
            latestVisible = frame;
    }
    return latestVisible ? latestVisible : latest;
}

Frm* Frm::StatusFrame() {
    QWidget* active = QApplication::activeWindow();
    Frm* behind = nullptr;
    for (const QPointer<Frm>& frame : Frames()) {
        if (!frame || !frame->m_window || !frame->StatusBar() || !frame->m_window->isVisible())
            continue;
        if (frame->m_window->window() == active)
            return frame;
        if (!behind || frame->d->activationStamp > behind->d->activationStamp)
            behind = frame;
    }
    return behind;
}

void Frm::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (d->grip)
        d->grip->move(width() - d->grip->width() - 1, height() - d->grip->height() - 1);
}

void Frm::paintEvent(QPaintEvent*) {
    if (!d->edge)
        return;
    QPainter painter(this);
    painter.setPen(QColor(0x94, 0xA3, 0xB8));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

void Frm::RequestClose() {
    if (isSignalConnected(QMetaMethod::fromSignal(&Frm::evtClose)))
        Q_EMIT evtClose();
    else
        Close();
}

void Frm::Activated() {
    static quint64 stamp = 0;
    d->activationStamp = ++stamp;
    ++m_activations;
    Q_EMIT evtActivate();
}

bool Frm::eventFilter(QObject* watched, QEvent* event) {
    // One filter on the application sees every event; only this window's keys and the window's
    // own events matter here.
    if (!m_window || !watched->isWidgetType())
        return false;
    auto* widget = static_cast<QWidget*>(watched);
    if (widget == m_window && WindowEvent(event))
        return true;
    if (event->type() == QEvent::FocusOut && IsNumberField(widget) &&
        m_window->isAncestorOf(widget)) {
        const auto reason = static_cast<QFocusEvent*>(event)->reason();
        // Checked once the focus has settled: a window switch or a list popping up is not
        // leaving the field, and an input check that already sent the user back has said why.
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) {
            // An amount left as typed ("20") is shown as money ("20,00") before anyone reads it,
            // as the proposals are; a text that does not read stays for the user to correct.
            auto* field = static_cast<QLineEdit*>(widget);
            if (const TypedNumber::Reading reading = ReadNumberField(field);
                reading.Ok() && !field->text().trimmed().isEmpty() &&
                TypedNumber::Kind(field->property(NumberKindProperty).toInt()) ==
                    TypedNumber::Kind::Amount)
                field->setText(AmountText::Editable(reading.value));
            QTimer::singleShot(0, widget, [this, field] {
                if (!field->hasFocus() && field->isVisible() && field->isEnabled())
                    CheckNumberField(field, true);
            });
        }
        return false;
    }
    if (event->type() != QEvent::KeyPress && event->type() != QEvent::ShortcutOverride)
        return false;
    if (widget != m_window && !m_window->isAncestorOf(widget))
        return false;
    auto* key = static_cast<QKeyEvent*>(event);
    if (event->type() == QEvent::ShortcutOverride) {
        // Claimed here, the key reaches the window as a key press instead of firing a
        // mnemonic or an editing shortcut of the field that has the focus.
        if (ShortcutTarget(key).isEmpty())
            return false;
        event->accept();
        return true;
    }
    return KeyPressed(widget, key);
}

bool Frm::WindowEvent(QEvent* event) {
    switch (event->type()) {
    case QEvent::WindowActivate:
        // Coming back from another program is not an activation of the window in this program.
        if (!d->active && !d->leftForOtherProgram) {
            d->active = true;
            Activated();
        }
        d->active = true;
        d->leftForOtherProgram = false;
        return false;
    case QEvent::WindowDeactivate:
        d->active = false;
        d->leftForOtherProgram = QApplication::activeWindow() == nullptr;
        return false;
    case QEvent::Show:
        // Some window systems never activate a window that is shown (offscreen, unattended runs):
        // the first show counts as an activation unless a real one arrives first.
        QTimer::singleShot(0, this, [this] {
            if (!d->active && m_window && m_window->isVisible()) {
                d->active = true;
                Activated();
            }
        });
        return false;
    case QEvent::Hide:
        d->active = false;
        d->leftForOtherProgram = false;
        return false;
    case QEvent::Close: {
        // Without a handler the window closes as any window does; with one, the window decides,
        // and the close goes ahead only when the handler closed it through Close().
        if (d->closing || !isSignalConnected(QMetaMethod::fromSignal(&Frm::evtClose)))
            return false;
        QPointer<Frm> self(this);
        d->inCloseEvent = true;
        d->closeAccepted = false;
        Q_EMIT evtClose();
        if (!self)
            return true;
        d->inCloseEvent = false;
        event->setAccepted(d->closeAccepted);
        return true;
    }
    case QEvent::KeyPress: {
        // An Escape that no field took closes a dialog the way its close button does.
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Escape && key->modifiers() == Qt::NoModifier &&
            qobject_cast<QDialog*>(m_window.data())) {
            RequestClose();
            return true;
        }
        return false;
    }
    default:
        return false;
    }
}

bool Frm::KeyPressed(QWidget* receiver, QKeyEvent* event) {
    // A key that no field took travels up to the window: react once, where it was pressed.
    if (d->sendingTab || (receiver != QApplication::focusWidget() && receiver != m_window))
        return false;
    if (receiver == m_window && QApplication::focusWidget() &&
        m_window->isAncestorOf(QApplication::focusWidget()))
        return false;
    const int key = event->key();
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    QPointer<Frm> self(this);
    Q_EMIT evtKeyDown(key, event->modifiers());
    if (!self || !m_window)
        return true;

    if (const QString target = ShortcutTarget(event); !target.isEmpty()) {
        Press(target);
        return true;
    }

    if (modifiers == Qt::ControlModifier && d->toolByKey.contains(key)) {
        if (IsEditingKey(key) && IsEditor(receiver))
            return false;
        QAbstractButton* tool = d->toolByName.value(d->toolByKey.value(key));
        if (!tool || tool->isHidden() || !tool->isEnabled())
            return false;
        CommitPendingEdit();
        Q_EMIT evtToolClick(QString(QChar(u'A' + (key - Qt::Key_A))));
        return true;
    }

    if (m_returnIsTab && modifiers == Qt::NoModifier &&
        (key == Qt::Key_Return || key == Qt::Key_Enter) && IsReturnField(receiver)) {
        QKeyEvent tab(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier);
        d->sendingTab = true;
        QCoreApplication::sendEvent(receiver, &tab);
        if (self)
            d->sendingTab = false;
        return true;
    }
    return false;
}
