#pragma once

#include <QHash>
#include <QString>
#include <QVector>

class QObject;
class QStringListModel;

// The entries of the combo column's drop-down: names, each with the id it stands for, and a
// lookup of a typed name in any case. The model is shared by every editor the grid opens, and by
// its type-ahead popup.
class GridComboList {
public:
    explicit GridComboList(QObject* modelParent);

    QStringListModel* Model() const { return m_model; }
    // The id field of the list's query; empty until the list is first filled.
    const QString& IdField() const { return m_idField; }

    // textField and idField of the query's rows, in the query's order.
    void Fill(const QString& sql, const QString& textField, const QString& idField);
    // The entry (from 0) whose name equals text in any case; -1 when none.
    int Find(const QString& text) const;
    QString Name(int entry) const;
    qint32 Id(int entry) const { return m_ids.at(entry); }

private:
    QStringListModel* m_model;
    QVector<qint32> m_ids;
    QHash<QString, int> m_index; // lower-case name -> entry
    QString m_idField;
};
