// The grid's current cell, moving it, and the record and page it stands on.

#include "platform/ui/widgets/GridNavigator.h"

#include "platform/ui/widgets/GridModel.h"

#include <QHeaderView>
#include <algorithm>

qint16 GridNavigator::CurrentRow() const {
    if (!m_grid || !m_grid->currentIndex().isValid())
        return 0;
    return qint16(m_grid->currentIndex().row() + 1);
}

qint16 GridNavigator::CurrentCol() const {
    if (!m_grid || !m_grid->currentIndex().isValid())
        return 0;
    return qint16(m_grid->currentIndex().column() + 1);
}

void GridNavigator::SetCurrentCell(int row, int col) {
    if (!m_grid || row < 1 || row > m_model.rows.size())
        return;
    int c = col - 1;
    if (c < 0 || c >= m_model.columns.size())
        c = std::max(0, m_grid->currentIndex().column());
    const QModelIndex index = m_model.index(row - 1, c);
    if (index != m_grid->currentIndex())
        m_grid->setCurrentIndex(index);
}

void GridNavigator::Move(int image, qint32 records) {
    const int rows = int(m_model.rows.size());
    if (rows == 0)
        return;
    const int current = std::max(1, int(CurrentRow()));
    int target = current;
    switch (image) {
    case 0:
        target = 1;
        break;
    case 1:
        target = current - 1;
        break;
    case 2:
        target = current + 1;
        break;
    case 3:
        target = std::max(1, int(records));
        break;
    default:
        return;
    }
    SetCurrentCell(std::clamp(target, 1, rows), CurrentCol());
}

GridNavigator::RecInfo GridNavigator::Info(qint32 records) const {
    const int current = CurrentRow();
    const qint32 record = current >= 1 && current <= records ? current : 0;
    const int perPage = RowsPerPage();
    const qint32 pages = std::max(1, (records + perPage - 1) / perPage);
    const qint32 page = record > 0 ? (record - 1) / perPage + 1 : pages;
    return {record, records, page, pages};
}

int GridNavigator::RowsPerPage() const {
    if (!m_grid || !m_grid->isVisible())
        return 20;
    const int rowHeight = std::max(1, m_grid->verticalHeader()->defaultSectionSize());
    return std::max(1, m_grid->viewport()->height() / rowHeight);
}
