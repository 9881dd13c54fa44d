#pragma once

#include "platform/data/ComboListModel.h"

#include <QHash>
#include <QString>
#include <optional>

class QObject;

// The entries of the combo column's drop-down: names, each with the id it stands for, and a
// lookup of a typed name in any case. The model is shared by every editor the grid opens, and by
// its type-ahead popup. A list filled from a query is held whole; a browsed list (a catalogue of
// thousands of products) holds a window of names and looks a typed name up in the database.
class GridComboList {
public:
    explicit GridComboList(QObject* modelParent);

    ComboListModel* Model() const { return m_model; }
    // The id field of the list's query; empty until the list is first filled.
    const QString& IdField() const { return m_idField; }

    // textField and idField of the query's rows, in the query's order.
    void Fill(const QString& sql, const QString& textField, const QString& idField);
    // The names of source, read as they are shown; idField is the id column of source's table.
    void Browse(const NameSource& source, const QString& idField);

    struct Entry {
        QString name;
        qint32 id = 0;
    };
    // The entry whose name equals text in any case, written as the list has it.
    std::optional<Entry> Find(const QString& text) const;

private:
    std::optional<Entry> FindBrowsed(const QString& text) const;

    ComboListModel* m_model;
    QHash<QString, int> m_index; // lower-case name -> entry, of a list held whole
    NameSource m_source;         // of a browsed list
    QString m_idField;
};
