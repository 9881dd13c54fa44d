#pragma once

#include <QPointer>
#include <QStyledItemDelegate>

class GridController;

// The grid's cell editors: the combo column edits through an editable list with type-ahead (any
// part of a name, any case), number columns through a right-aligned line edit whose text the
// controller reads when the edit ends (a key is never swallowed: "1e308" must be refused whole,
// not read as 1308), the rest as Qt edits them. A choice in the list, or in the type-ahead popup,
// ends the edit; so does Enter when the popup offers a single name.
class GridDelegate : public QStyledItemDelegate {
public:
    explicit GridDelegate(GridController* owner);

    QPointer<QWidget> editor; // the editor open now, if any
    // A text the controller refused, shown again when the editor of that cell opens next.
    QPersistentModelIndex refusedIndex;
    QString refusedText;

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override;
    void setEditorData(QWidget* widget, const QModelIndex& index) const override;
    void setModelData(QWidget* widget, QAbstractItemModel* model,
                      const QModelIndex& index) const override;

protected:
    bool eventFilter(QObject* object, QEvent* event) override;

private:
    QWidget* CreateComboEditor(QWidget* parent, int column);

    GridController* m_owner;
};
