// The grid's cell editors: the combo column's list with type-ahead and the number edits.

#include "platform/ui/widgets/GridDelegate.h"

#include "platform/report/AmountText.h"
#include "platform/ui/widgets/GridController.h"
#include "platform/ui/widgets/GridModel.h"
#include "platform/ui/widgets/TypeAhead.h"
#include "platform/util/Utility.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QCompleter>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListView>

namespace {

// An editable combo that opens its list on the arrow keys instead of stepping through it, so a
// stray key never picks a product; a choice made in its open list ends the edit.
class GridCombo : public QComboBox {
public:
    using QComboBox::QComboBox;
    bool listShown = false;
    TypeAhead* typeAhead = nullptr;

    void showPopup() override {
        listShown = true;
        QComboBox::showPopup();
    }

protected:
    void keyPressEvent(QKeyEvent* event) override {
        if ((event->key() == Qt::Key_Down || event->key() == Qt::Key_Up) &&
            !(event->modifiers() & Qt::AltModifier)) {
            showPopup();
            return;
        }
        QComboBox::keyPressEvent(event);
    }
};

bool IsEnter(const QEvent* event) {
    if (event->type() != QEvent::KeyPress)
        return false;
    const int key = static_cast<const QKeyEvent*>(event)->key();
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}

// Enter in the type-ahead popup with nothing highlighted takes the popup's only name, when it
// offers just one: "Consulta g" + Enter means the one product whose name contains it.
class SingleMatchOnEnter : public QObject {
public:
    explicit SingleMatchOnEnter(QCompleter* completer) : QObject(completer), m_c(completer) {}

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        QAbstractItemView* popup = m_c->popup();
        if (IsEnter(event) && !popup->currentIndex().isValid() && m_c->completionCount() == 1)
            popup->setCurrentIndex(m_c->completionModel()->index(0, 0));
        return false;
    }

private:
    QCompleter* m_c;
};

} // namespace

GridDelegate::GridDelegate(GridController* owner) : QStyledItemDelegate(owner), m_owner(owner) {}

QWidget* GridDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                                    const QModelIndex& index) const {
    auto* self = const_cast<GridDelegate*>(this);
    QWidget* widget = nullptr;
    if (index.column() == m_owner->m_comboCol) {
        widget = self->CreateComboEditor(parent, index.column());
    } else if (IsNumericColumn(m_owner->Type(index.column()))) {
        auto* edit = new QLineEdit(parent);
        edit->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        widget = edit;
    } else {
        widget = QStyledItemDelegate::createEditor(parent, option, index);
    }
    self->editor = widget;
    return widget;
}

QWidget* GridDelegate::CreateComboEditor(QWidget* parent, int column) {
    // The window fills the list when it drops down, so a product created a moment ago is offered
    // too.
    Q_EMIT m_owner->evtComboDropDown(column + 1);
    auto* combo = new GridCombo(parent);
    combo->typeAhead = TypeAhead::Attach(combo);
    combo->setModel(m_owner->m_comboList.Model());
    QCompleter* completer = combo->typeAhead->Popup();
    completer->popup()->installEventFilter(new SingleMatchOnEnter(completer));
    // Picking a name in the type-ahead popup ends the edit, as picking it in the list does.
    connect(completer, qOverload<const QString&>(&QCompleter::activated), this,
            [this, combo](const QString& text) {
                combo->setEditText(text);
                combo->setProperty("pickedFromList", true);
                Q_EMIT commitData(combo);
                Q_EMIT closeEditor(combo, m_owner->m_enterMovesNext
                                              ? QAbstractItemDelegate::EditNextItem
                                              : QAbstractItemDelegate::NoHint);
            });
    connect(combo, &QComboBox::activated, this, [this, combo] {
        if (!combo->listShown)
            return;
        combo->setProperty("pickedFromList", true);
        Q_EMIT commitData(combo);
        Q_EMIT closeEditor(combo, QAbstractItemDelegate::NoHint);
    });
    return combo;
}

void GridDelegate::setEditorData(QWidget* widget, const QModelIndex& index) const {
    QString text = index.data(Qt::EditRole).toString();
    if (index == refusedIndex) {
        auto* self = const_cast<GridDelegate*>(this);
        text = refusedText;
        self->refusedIndex = QPersistentModelIndex();
    } else if (const GridColumn type = m_owner->Type(index.column());
               (type == GridColumn::Money || type == GridColumn::Percentage) && !text.isEmpty()) {
        // An amount shown as "1.234,56" is edited as "1234,56".
        text = AmountText::Editable(U().SqlNumber(text));
    }
    if (auto* combo = qobject_cast<QComboBox*>(widget)) {
        combo->setEditText(text);
        combo->lineEdit()->selectAll();
    } else if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
        edit->setText(text);
        edit->selectAll();
    } else {
        QStyledItemDelegate::setEditorData(widget, index);
    }
}

void GridDelegate::setModelData(QWidget* widget, QAbstractItemModel* model,
                                const QModelIndex& index) const {
    QString text;
    if (auto* combo = qobject_cast<QComboBox*>(widget)) {
        text = combo->currentText();
        m_owner->m_model->pickedFromList = combo->property("pickedFromList").toBool();
    } else if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
        text = edit->text();
    } else {
        QStyledItemDelegate::setModelData(widget, model, index);
        return;
    }
    model->setData(index, text, Qt::EditRole);
}

bool GridDelegate::eventFilter(QObject* object, QEvent* event) {
    // The popup closed, a part of one name typed: Enter takes that name as the popup would.
    auto* combo = dynamic_cast<GridCombo*>(object);
    if (IsEnter(event) && combo) {
        const QString only = combo->typeAhead->OnlyMatch();
        if (!only.isEmpty() && !m_owner->m_comboList.Find(combo->currentText())) {
            combo->setEditText(only);
            combo->setProperty("pickedFromList", true);
        }
    }
    if (event->type() == QEvent::KeyPress && m_owner->m_enterMovesNext) {
        auto* widget = qobject_cast<QWidget*>(object);
        if (IsEnter(event) && widget) {
            Q_EMIT commitData(widget);
            Q_EMIT closeEditor(widget, QAbstractItemDelegate::EditNextItem);
            return true;
        }
    }
    return QStyledItemDelegate::eventFilter(object, event);
}
