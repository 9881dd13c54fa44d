#include "platform/data/ComboListModel.h"

void ComboListModel::Reset(QStringList texts, QVector<QVariant> ids) {
    beginResetModel();
    m_texts = std::move(texts);
    m_ids = std::move(ids);
    endResetModel();
}

int ComboListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_texts.size());
}

QVariant ComboListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= m_texts.size())
        return {};
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
