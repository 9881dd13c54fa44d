#pragma once

#include "platform/ui/widgets/GridColumn.h"
#include "platform/ui/widgets/GridComboList.h"
#include "platform/ui/widgets/GridNavigator.h"
#include "platform/ui/widgets/GridSelectList.h"

#include <QObject>
#include <QPointer>
#include <QSize>
#include <QString>
#include <QTableView>
#include <QVariant>
#include <QVector>
#include <functional>

class GridDelegate;
class GridModel;
class PageModel;
class PreviewControl;

// Drives a QTableView from an SQL text and hands every change back to the window through events.
//
// The window answers evtBuildSQL with a SELECT whose aliases name the columns ("expr AS [alias]");
// the first column is the record key. Columns are numbered from 1 and rows from 1 in every event
// and call; a row argument of -1 means the current row, a column may be given by number or by
// alias. While Editable, a new line stays at the bottom of the grid.
//
// A user's change of a cell raises, in this order: evtLeaveCell (or evtComboClickMouse when the
// value was picked from the drop-down), then, only if the row still has unsaved changes (no
// SaveRow since the edit), evtRecInsert for the new line or evtRecEdit for a stored row. A line
// whose insert succeeds and carries a key (SetRecordKey) becomes a stored row and a fresh new line
// appears below it. Programmatic changes (SetCellText) raise nothing.
//
// Events are delivered through direct connections; RV_ arguments are answers set by the handler.
class GridController : public QObject {
    Q_OBJECT
public:
    explicit GridController(QObject* parent = nullptr);
    ~GridController() override;

    // Binds the controller to the grid: the controller's model, delegate and keys go on it.
    void Attach(QTableView* grid);
    QTableView* Grid() const { return m_grid; }

    // Set-up, once, before the first Refresh.
    // Deleting a stored row asks the user first.
    void SetConfirmDelete(bool on) { m_confirmDelete = on; }
    // The question asked before deleting the row (from 1), so that it names what goes; without
    // one the generic "¿Está seguro de realizar la operación?".
    void SetDeleteQuestion(std::function<QString(int row)> question) {
        m_deleteQuestion = std::move(question);
    }
    // Number columns ("n") show at most this many decimals.
    void SetNumberDecimals(int decimals) { m_numberDecimals = decimals; }
    // Enter commits the cell and moves to the next editable cell, as Tab does.
    void SetEnterMovesNext(bool on) { m_enterMovesNext = on; }
    // Alternate row shading, easier to follow a line across a wide grid.
    void SetAlternatingRows(bool on);
    // The columns (numbers, comma-separated) that mark a closed record: they are never edited, and
    // a row in which any of them holds a value is shown but cannot be changed.
    void LockingColumns(const QString& columns);
    // Columns (from 1, joined by ",") that are shown and never edited, without locking the row.
    void ReadOnlyColumns(const QString& columns);
    // The column (number) that edits through a drop-down list filled by FillComboColumn.
    void ComboColumns(const QString& columns);
    // What each column holds, from the first; columns past the list hold text.
    void ColumnTypes(const QVector<GridColumn>& types);
    // Widths in characters, comma-separated; 0 hides the column.
    void ColumnWidths(const QString& widths);

    bool Editable() const { return m_editable; }
    void SetEditable(bool editable);

    // Asks the window for the SQL (evtBuildSQL) and reads the rows.
    void Refresh();
    // Reads the rows again with the last SQL.
    void Requery();

    qint32 RecordCount() const; // stored rows, without the new line
    qint16 CurrentRow() const;  // 0 when there is no current cell
    qint16 CurrentCol() const;
    void SetCurrentCell(int row, int col);
    bool IsNewLine(int row) const;
    // A cell editor is open, or the current row holds a change not saved yet: what a refresh
    // would throw away.
    bool IsEditing() const;

    QString CellText(int row, const QVariant& col) const;
    void SetCellText(int row, const QVariant& col, const QString& text);
    // The current row's text in the column.
    QString CellValue(const QVariant& col) const;
    // The current row's key (its first column); 0 on the new line. arg is always 0.
    qint32 RecordKey(int arg) const;
    void SetRecordKey(int arg, qint32 key);
    // The id chosen in the combo column of the row (0: the text names no entry of the list).
    qint32 ComboId(int row) const;

    // Writes the current row into table: an insert when where is empty (answers the new key),
    // else an update of the rows matching where (answers the row's key). Only the columns whose
    // SQL expression is a column of table are written, except those named in skipFields ("expr"
    // or alias, comma-separated); the combo column writes its chosen id into the list's id field;
    // extraFields receive extraValues (SQL literals) in order. The row counts as saved afterwards.
    qint32 SaveRow(const QString& table, const QString& where, const QString& extraFields,
                   const QString& extraValues, const QString& skipFields);

    // Fills the drop-down of the combo column with textField of sql's rows, each carrying idField.
    void FillComboColumn(const QString& sql, const QString& textField, const QString& idField,
                         int arg = 0);
    // Fills it with the names of source as they are shown, each standing for the idField of its
    // row: for a catalogue too long to read whole at each drop-down.
    void BrowseComboColumn(const NameSource& source, const QString& idField);

    // 4: commits the edit in progress and saves the current row if it still has unsaved changes.
    void Command(int code);
    // 0 first, 1 previous, 2 next, 3 last row.
    void NavigatorClick(int index);
    // kind 1: number of stored rows; kind 2: sum of the column's numbers over the stored rows.
    double ColumnTotal(const QVariant& col, int kind) const;

    // Shows the grid's pages (PrintPages on the preview's paper) in preview, which prints them on
    // device (a printer name; empty: the default printer).
    void PrintGrid(PreviewControl& preview, const QString& fontName, const QString& title,
                   const QString& subtitle, const QString& device);
    // The visible columns and the stored rows as a table under a title and a subtitle, paginated
    // on paper (twips); every page repeats the column heads and carries "Página n de m".
    PageModel PrintPages(const QString& fontName, const QString& title, const QString& subtitle,
                         QSize paper) const;

Q_SIGNALS:
    void evtBuildSQL(QString& RV_sSQL, QString& RV_sReplacingFlds);
    void evtLeaveCell(qint32 nRow, qint32 nCol);
    void evtRecInsert(qint32 nRow, bool& RV_bSuccess);
    void evtRecEdit(qint32 nRow, qint32 nCol, bool& RV_bSuccess);
    void evtRecDelete(qint32 nRow, bool& RV_bSuccess);
    void evtRecInfo(qint32 nRec, qint32 nRecs, qint32 nPage, qint32 nPages);
    void evtAfterDisplay();
    void evtComboDropDown(qint32 nCol);
    void evtComboClickMouse(qint32 nCol);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    friend class GridModel;
    friend class GridDelegate;

    int ColumnIndex(const QVariant& col) const; // from 0; -1 when unknown
    int RowIndex(int row) const;                // from 0; -1 when none
    GridColumn Type(int col) const;
    QString Display(int col, const QVariant& value) const;
    QString SqlLiteral(int col, const QString& text) const;
    bool CellEditable(int row, int col) const;
    void UserEdit(int row, int col, const QString& text, bool fromList);
    // Opens the cell's editor again on a refused text, so that the user corrects it there.
    void EditAgain(int row, int col, const QString& text);
    void AfterEdit(int row, int col);
    void DeleteCurrentRow();
    void EnsureNewLine();
    void ApplyLayout();
    void EmitRecInfo();
    void EnsureComboList();
    qint32 ResolveComboId(const QString& text);

    QPointer<QTableView> m_grid;
    GridModel* m_model = nullptr;
    GridDelegate* m_delegate = nullptr;
    GridComboList m_comboList;
    GridNavigator m_navigator;

    QString m_sql;
    GridSelectList m_select;
    QVector<GridColumn> m_types;
    QVector<int> m_widths;
    QVector<int> m_locking;
    QVector<int> m_readOnly;
    int m_comboCol = -1;
    int m_numberDecimals = 4;
    bool m_confirmDelete = true;
    std::function<QString(int row)> m_deleteQuestion;
    bool m_enterMovesNext = false;
    bool m_editable = false;
    bool m_inEdit = false;
    int m_layoutColumns = -1;
};
