#pragma once

#include <QAbstractListModel>
#include <QStringList>
#include <QVector>

// The entries of a combo filled from a query: one text and one id per row, and nothing else. A
// QStandardItem per entry costs an object, a map of roles and a signal per insertion; with a
// hundred thousand clients that alone took longer than the user waits for a key. The id is the
// entry's item data (Qt::UserRole).
class ComboListModel : public QAbstractListModel {
    Q_OBJECT
public:
    using QAbstractListModel::QAbstractListModel;

    // Replaces every entry at once, with one reset however many there are. ids is empty when the
    // entries carry none.
    void Reset(QStringList texts, QVector<QVariant> ids);

    const QStringList& Texts() const { return m_texts; }

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

private:
    QStringList m_texts;
    QVector<QVariant> m_ids;
};
