// The names of a combo list, held whole or browsed a window at a time from one table's column.

#include "platform/data/ComboListModel.h"

#include "platform/data/DataAccess.h"
#include "platform/util/Utility.h"

#include <QTimer>
#include <algorithm>

namespace {

// A view or the combo asking for an entry this near either end of a browsed window makes the
// window read the next page there.
constexpr int Margin = 3;

QString Literal(const QString& text) {
    return Utility::instance().SqlValue(text, 0, true);
}

QStringList FirstColumn(const Rows& rows) {
    QStringList texts;
    texts.reserve(rows.RowCount());
    for (int row = 0; row < rows.RowCount(); ++row)
        texts << rows.Value(0, row).toString();
    return texts;
}

} // namespace

void ComboListModel::Reset(QStringList texts, QVector<QVariant> ids) {
    beginResetModel();
    m_source = {};
    m_atStart = m_atEnd = true;
    m_texts = std::move(texts);
    m_ids = std::move(ids);
    endResetModel();
}

void ComboListModel::Browse(NameSource source, const QString& around) {
    beginResetModel();
    m_source = std::move(source);
    m_ids.clear();
    // Opened on a name, the window holds one page, as one opened at the list's start does: half
    // of it either side. On the owners of a common pet name each name costs some twenty client
    // names walked, and a page is more than the popup shows.
    if (Around names = around.isEmpty() ? Around{} : NamesAround(around, Page / 2); names.held) {
        Show(around, std::move(names));
    } else {
        m_texts = Names({}, true, Page + 1);
        m_atStart = true;
        m_atEnd = m_texts.size() <= Page;
        if (!m_atEnd)
            m_texts.removeLast();
    }
    endResetModel();
}

// Each name is found by one seek in the column's index (the least name after the previous one),
// so a page costs the same whether the table holds a thousand rows or ten million, and a name
// that a thousand pets share costs one seek too, on both engines. The walk is the common table
// expression named walk, whose rows (s, k) are the names, nearest first, and their places from 1;
// the first is from itself when from is one of the names and inclusive is true. A walk with a
// gate walks only when the gate holds.
QString ComboListModel::Walk(const QString& walk, const QString& from, bool forward, int count,
                             bool inclusive, const QString& gate) const {
    const QString& column = m_source.column;
    const QString& table = m_source.table;
    const QString extreme = forward ? QStringLiteral("MIN(") : QStringLiteral("MAX(");
    const QString beyond = column + (forward ? QStringLiteral(" > ") : QStringLiteral(" < "));
    const QString condition = Condition();
    QString first = from.isNull() ? column + " IS NOT NULL"
                    : inclusive   ? column + " >= " + Literal(from)
                                  : beyond + Literal(from);
    if (!gate.isEmpty())
        first += " AND " + gate;
    return walk + "(s, k) AS (SELECT " + extreme + column + "), 1 FROM " + table + " WHERE " +
           first + condition + " UNION ALL SELECT (SELECT " + extreme + column + ") FROM " + table +
           " WHERE " + beyond + walk + ".s" + condition + "), k + 1 FROM " + walk + " WHERE " +
           walk + ".s IS NOT NULL AND k < " + QString::number(count) + ")";
}

QString ComboListModel::Condition() const {
    return m_source.condition.isEmpty() ? QString() : " AND (" + m_source.condition + ")";
}

QStringList ComboListModel::Names(const QString& from, bool forward, int count) const {
    return FirstColumn(DataAccess::instance().GetRows("WITH RECURSIVE " +
                                                      Walk("w", from, forward, count, false, {}) +
                                                      " SELECT s FROM w WHERE s IS NOT NULL"));
}

// Both sides in one statement, the name itself leading the names after it when the list has it:
// one round trip where there were three (whether the list has the name, the page before, the
// page after), each planned anew. On the owners of a common pet name each side walks some two
// thousand client names, so that a name the list lacks is not walked around at all.
ComboListModel::Around ComboListModel::NamesAround(const QString& name, int side) const {
    const QString listed = "EXISTS (SELECT 1 FROM " + m_source.table + " WHERE " + m_source.column +
                           " = " + Literal(name) + Condition() + ")";
    const Rows rows = DataAccess::instance().GetRows(
        "WITH RECURSIVE " + Walk("b", name, false, side + 1, false, listed) + ", " +
        Walk("a", name, true, side + 2, true, listed) +
        " SELECT 0 AS side, k, s FROM b WHERE s IS NOT NULL UNION ALL SELECT 1, k, s FROM a "
        "WHERE s IS NOT NULL ORDER BY side, k");
    Around around;
    around.side = side;
    for (int row = 0; row < rows.RowCount(); ++row)
        (rows.Value(0, row).toInt() == 0 ? around.before : around.after)
            << rows.Value(2, row).toString();
    around.held = !around.after.isEmpty() && around.after.first() == name;
    if (around.held)
        around.after.removeFirst();
    return around;
}

QStringList ComboListModel::Matching(const QString& text, const QString& after, int count) const {
    if (Complete())
        return {};
    return Search(m_source, text, after, count);
}

QStringList ComboListModel::Search(const NameSource& source, const QString& text,
                                   const QString& after, int count) {
    if (text.isEmpty())
        return {};
    DataAccess& db = DataAccess::instance();
    const QString& column = source.column;
    QString where;
    // A trigram index answers a text of three characters or more; a shorter one is looked for
    // along the name index, which stops at the page's last match.
    if (!db.IsServerDb() && !source.searchTable.isEmpty() && text.size() >= 3) {
        QString phrase = text;
        phrase.replace(QChar('"'), QStringLiteral("\"\""));
        where = "rowid IN (SELECT rowid FROM " + source.searchTable + " WHERE " +
                source.searchTable + " MATCH " + Literal('"' + phrase + '"') + ")";
    } else {
        QString pattern = text;
        pattern.replace(QChar('\\'), QStringLiteral("\\\\"))
            .replace(QChar('%'), QStringLiteral("\\%"))
            .replace(QChar('_'), QStringLiteral("\\_"));
        where = column + (db.IsServerDb() ? " ILIKE " : " LIKE ") + Literal('%' + pattern + '%') +
                " ESCAPE '\\'";
    }
    if (!source.condition.isEmpty())
        where += " AND (" + source.condition + ")";
    if (!after.isEmpty())
        where += " AND " + column + " > " + Literal(after);
    return FirstColumn(db.GetRows("SELECT DISTINCT " + column + " FROM " + source.table +
                                  " WHERE " + where + " ORDER BY " + column + " LIMIT " +
                                  QString::number(count)));
}

int ComboListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_texts.size());
}

QVariant ComboListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= m_texts.size())
        return {};
    // The combo's arrow keys and wheel move one entry at a time and never ask for more, so an
    // entry near an end of the window reads the next page there, once the asking is over.
    const bool nearEdge = (!m_atStart && index.row() < Margin) ||
                          (!m_atEnd && index.row() >= m_texts.size() - Margin);
    if (nearEdge && !m_readPending) {
        m_readPending = true;
        const bool before = index.row() < Margin;
        QTimer::singleShot(0, const_cast<ComboListModel*>(this), [this, before] {
            auto* self = const_cast<ComboListModel*>(this);
            m_readPending = false;
            before ? self->ReadBefore() : self->ReadAfter();
        });
    }
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        return m_texts[index.row()];
    case Qt::UserRole:
        return m_ids.value(index.row());
    default:
        return {};
    }
}

bool ComboListModel::canFetchMore(const QModelIndex& parent) const {
    return !parent.isValid() && !m_atEnd;
}

void ComboListModel::fetchMore(const QModelIndex& parent) {
    if (!parent.isValid())
        ReadAfter();
}

void ComboListModel::ReadAfter() {
    if (m_atEnd || m_texts.isEmpty())
        return;
    QStringList names = Names(m_texts.last(), true, Page);
    m_atEnd = names.size() < Page;
    if (names.isEmpty())
        return;
    beginInsertRows({}, int(m_texts.size()), int(m_texts.size() + names.size() - 1));
    m_texts += names;
    endInsertRows();
}

void ComboListModel::ReadBefore() {
    if (m_atStart || m_texts.isEmpty())
        return;
    QStringList names = Names(m_texts.first(), false, Page);
    m_atStart = names.size() < Page;
    if (names.isEmpty())
        return;
    std::reverse(names.begin(), names.end());
    beginInsertRows({}, 0, int(names.size() - 1));
    m_texts = names + m_texts;
    endInsertRows();
}

int ComboListModel::Show(const QString& name, Around around) {
    QStringList& before = around.before;
    QStringList& after = around.after;
    m_atStart = before.size() <= around.side;
    m_atEnd = after.size() <= around.side;
    if (!m_atStart)
        before.removeLast();
    if (!m_atEnd)
        after.removeLast();
    std::reverse(before.begin(), before.end());
    m_texts = before + QStringList{name} + after;
    return int(before.size());
}

QModelIndexList ComboListModel::match(const QModelIndex& start, int role, const QVariant& value,
                                      int hits, Qt::MatchFlags flags) const {
    QModelIndexList found = QAbstractListModel::match(start, role, value, hits, flags);
    const bool exactName = (flags & Qt::MatchTypeMask) == Qt::MatchExactly &&
                           (role == Qt::DisplayRole || role == Qt::EditRole);
    if (!found.isEmpty() || Complete() || !exactName || start.row() != 0)
        return found;
    // Not in the window: the window moves to the name when the list has it at all.
    const QString name = value.toString();
    Around around = NamesAround(name, Page);
    if (!around.held)
        return found;
    // Finding is const in Qt's interface; what the window holds is a cache of the database.
    auto* self = const_cast<ComboListModel*>(this);
    self->beginResetModel();
    const int row = self->Show(name, std::move(around));
    self->endResetModel();
    return {index(row, 0)};
}
