// The combo column's drop-down entries, held whole or browsed, and a typed name looked up.

#include "platform/ui/widgets/GridComboList.h"

#include "platform/data/DataAccess.h"
#include "platform/util/Utility.h"

#include <algorithm>

GridComboList::GridComboList(QObject* modelParent) : m_model(new ComboListModel(modelParent)) {}

void GridComboList::Fill(const QString& sql, const QString& textField, const QString& idField) {
    const ::Rows data = DataAccess::instance().GetRows(sql);
    QStringList texts;
    QVector<QVariant> ids;
    texts.reserve(data.RowCount());
    ids.reserve(data.RowCount());
    m_index.clear();
    for (int r = 0; r < data.RowCount(); ++r) {
        const QString text = data.Value(textField, r).toString();
        m_index.insert(text.toLower(), int(texts.size()));
        texts << text;
        ids << qint32(U().SqlNumber(data.Value(idField, r)));
    }
    m_source = {};
    m_idField = idField;
    m_model->Reset(std::move(texts), std::move(ids));
}

void GridComboList::Browse(const NameSource& source, const QString& idField) {
    m_index.clear();
    m_source = source;
    m_idField = idField;
    m_model->Browse(source);
}

std::optional<GridComboList::Entry> GridComboList::Find(const QString& text) const {
    if (!m_model->Complete())
        return FindBrowsed(text);
    const int entry = m_index.value(text.toLower(), -1);
    if (entry < 0)
        return std::nullopt;
    const QModelIndex index = m_model->index(entry);
    return Entry{index.data(Qt::DisplayRole).toString(),
                 qint32(U().SqlNumber(index.data(Qt::UserRole)))};
}

// The name as typed is one seek in the name's index; only a name typed in another case goes
// through the search index, whose matches contain the one that equals it in any case.
std::optional<GridComboList::Entry> GridComboList::FindBrowsed(const QString& text) const {
    if (text.isEmpty())
        return std::nullopt;
    DataAccess& db = DataAccess::instance();
    const QString condition =
        m_source.condition.isEmpty() ? QString() : " AND (" + m_source.condition + ")";
    auto idOf = [&](const QString& name) {
        return db
            .GetRows("SELECT " + m_idField + " FROM " + m_source.table + " WHERE " +
                     m_source.column + "=" + U().SqlValue(name, 0, true) + condition +
                     " ORDER BY " + m_idField + " LIMIT 1")
            .Value(0, 0);
    };
    QString name = text;
    QVariant id = idOf(name);
    if (id.isNull()) {
        const QStringList matches = m_model->Matching(text, {}, ComboListModel::Page);
        const auto same = std::find_if(matches.begin(), matches.end(), [&](const QString& match) {
            return match.compare(text, Qt::CaseInsensitive) == 0;
        });
        if (same == matches.end())
            return std::nullopt;
        name = *same;
        id = idOf(name);
    }
    if (id.isNull())
        return std::nullopt;
    return Entry{name, qint32(U().SqlNumber(id))};
}
