#pragma once

#include <QPointer>
#include <QTableView>

class GridModel;

// Where the grid's current cell stands, moving it, and the record and page it is on. Rows and
// columns are numbered from 1, as the controller's callers number them; 0 is no current cell.
class GridNavigator {
public:
    struct RecInfo {
        qint32 record; // 0 when the current row is not a stored record
        qint32 records;
        qint32 page;
        qint32 pages;
    };

    explicit GridNavigator(const GridModel& model) : m_model(model) {}
    void SetGrid(QTableView* grid) { m_grid = grid; }

    qint16 CurrentRow() const;
    qint16 CurrentCol() const;
    // A column outside the grid keeps the current column.
    void SetCurrentCell(int row, int col);
    // 0 first, 1 previous, 2 next, 3 last stored row; other images do nothing.
    void Move(int image, qint32 records);
    // Pages are as many rows as the grid shows at once (20 while it is not on screen).
    RecInfo Info(qint32 records) const;

private:
    int RowsPerPage() const;

    const GridModel& m_model;
    QPointer<QTableView> m_grid;
};
