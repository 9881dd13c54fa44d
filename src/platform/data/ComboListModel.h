#pragma once

#include <QAbstractListModel>
#include <QStringList>
#include <QVector>

// The names a browsed list shows: the distinct values of one text column of one table, in the
// column's order, optionally only of the rows that meet a condition. searchTable names the
// SQLite full-text table (trigram tokenizer) that indexes the column; on PostgreSQL the column's
// trigram index answers the same query by itself.
struct NameSource {
    QString table;
    QString column;
    QString condition;
    QString searchTable;
};

// The entries of a combo filled from a query: one text and one id per row, and nothing else. A
// QStandardItem per entry costs an object, a map of roles and a signal per insertion; with a
// hundred thousand clients that alone took longer than the user waits for a key. The id is the
// entry's item data (Qt::UserRole).
//
// A list of every client of a chain of clinics does not fit in a frame's time, however lean its
// entries: such a list is browsed instead (Browse). It then holds only a window of consecutive
// names, read by key ranges over the column's index, and reads further names when a view scrolls
// to either end of the window or the combo's current entry gets near one. Looking for a name the
// window does not hold (QComboBox::findText) moves the window to it when the database has it.
class ComboListModel : public QAbstractListModel {
    Q_OBJECT
public:
    using QAbstractListModel::QAbstractListModel;

    // Replaces every entry at once, with one reset however many there are. ids is empty when the
    // entries carry none.
    void Reset(QStringList texts, QVector<QVariant> ids);
    // Shows the names of source from the first one on, a window at a time; from a page before
    // around instead, when source has that name: half a page either side of it.
    void Browse(NameSource source, const QString& around = {});

    const QStringList& Texts() const { return m_texts; }
    // Whether Texts() holds every entry of the list; a browsed list holds a window of it.
    bool Complete() const { return m_source.table.isEmpty(); }
    // Up to count names of a browsed list that contain text (any case), in the list's order and
    // after the name after (all when empty).
    QStringList Matching(const QString& text, const QString& after, int count) const;
    // The same search over any source, whatever a list holds.
    static QStringList Search(const NameSource& source, const QString& text, const QString& after,
                              int count);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool canFetchMore(const QModelIndex& parent) const override;
    void fetchMore(const QModelIndex& parent) override;
    QModelIndexList match(const QModelIndex& start, int role, const QVariant& value, int hits,
                          Qt::MatchFlags flags) const override;

    // Names read at once when a browsed window grows or moves.
    static constexpr int Page = 100;

private:
    // Up to side names on either side of a name, nearest first, and one more where there are
    // more; held when the list has the name.
    struct Around {
        QStringList before;
        QStringList after;
        int side = 0;
        bool held = false;
    };

    QString Walk(const QString& walk, const QString& from, bool forward, int count, bool inclusive,
                 const QString& gate) const;
    // " AND (condition)" of the source, or nothing.
    QString Condition() const;
    // Up to count distinct names after (forward) or before the name given, nearest first; from
    // the list's start (or end) when from is null.
    QStringList Names(const QString& from, bool forward, int count) const;
    Around NamesAround(const QString& name, int side) const;
    void ReadBefore();
    void ReadAfter();
    // The window holds name and the names around it; answers its row.
    int Show(const QString& name, Around around);

    QStringList m_texts;
    QVector<QVariant> m_ids;
    NameSource m_source;
    bool m_atStart = true;
    bool m_atEnd = true;
    mutable bool m_readPending = false;
};
