#pragma once

#include <QPointer>
#include <QStyledItemDelegate>

class GridController;

// The grid's cell editors: the combo column edits through an editable list with type-ahead (any
// part of a name, any case), number columns through a line edit that takes only numbers, the
// rest as Qt edits them. A choice in the list, or in the type-ahead popup, ends the edit.
class GridDelegate : public QStyledItemDelegate {
public:
    explicit GridDelegate(GridController* owner);

    QPointer<QWidget> editor; // the editor open now, if any

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
