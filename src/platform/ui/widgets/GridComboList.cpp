#include "platform/ui/widgets/GridComboList.h"

#include "platform/data/DataAccess.h"
#include "platform/util/Utility.h"

#include <QStringListModel>

GridComboList::GridComboList(QObject* modelParent) : m_model(new QStringListModel(modelParent)) {}

void GridComboList::Fill(const QString& sql, const QString& textField, const QString& idField) {
    const ::Rows data = DataAccess::instance().GetRows(sql);
    QStringList texts;
    texts.reserve(data.RowCount());
    m_ids.clear();
    m_ids.reserve(data.RowCount());
    m_index.clear();
    for (int r = 0; r < data.RowCount(); ++r) {
        const QString text = data.Value(textField, r).toString();
        m_index.insert(text.toLower(), int(texts.size()));
        texts << text;
        m_ids << qint32(U().SqlNumber(data.Value(idField, r)));
    }
    m_idField = idField;
    m_model->setStringList(texts);
}

int GridComboList::Find(const QString& text) const {
    return m_index.value(text.toLower(), -1);
}

QString GridComboList::Name(int entry) const {
    return m_model->stringList().at(entry);
}
