// A grid over an SQL text: loading, editing, checking and saving its rows, and printing it.

#include "platform/ui/widgets/GridController.h"

#include "platform/data/DataAccess.h"
#include "platform/report/AmountText.h"
#include "platform/report/PreviewControl.h"
#include "platform/ui/seam/Ui.h"
#include "platform/ui/widgets/GridDelegate.h"
#include "platform/ui/widgets/GridModel.h"
#include "platform/ui/widgets/GridPrinter.h"
#include "platform/util/TypedNumber.h"
#include "platform/util/Utility.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QTableView>
#include <QTimer>
#include <algorithm>

namespace {

QString Tr(const QString& text) {
    return DataAccess::instance().Translate(text);
}

// "2,3" -> {2, 3}; blanks and empty pieces are ignored.
QVector<int> NumberList(const QString& text) {
    QVector<int> numbers;
    for (const QString& piece : text.split(',', Qt::SkipEmptyParts))
        if (const QString trimmed = piece.trimmed(); !trimmed.isEmpty())
            numbers << trimmed.toInt();
    return numbers;
}

// How a number column reads what is typed in it.
TypedNumber::Kind KindOf(GridColumn type) {
    if (type == GridColumn::Money)
        return TypedNumber::Kind::Amount;
    return type == GridColumn::Percentage ? TypedNumber::Kind::Percentage
                                          : TypedNumber::Kind::Quantity;
}

} // namespace

GridController::GridController(QObject* parent)
    : QObject(parent), m_model(new GridModel(this)), m_delegate(new GridDelegate(this)),
      m_comboList(this), m_navigator(*m_model) {
    // A closed editor lives on until its deferred deletion; committing it again in that time
    // would hand the view an editor it no longer knows.
    connect(m_delegate, &QAbstractItemDelegate::closeEditor, this, [this](QWidget* closed) {
        if (m_delegate->editor == closed)
            m_delegate->editor = nullptr;
    });
}

GridController::~GridController() = default;

void GridController::Attach(QTableView* grid) {
    m_grid = grid;
    m_navigator.SetGrid(grid);
    grid->setModel(m_model);
    grid->setItemDelegate(m_delegate);
    grid->setSelectionMode(QAbstractItemView::SingleSelection);
    grid->setSelectionBehavior(QAbstractItemView::SelectItems);
    grid->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                          QAbstractItemView::AnyKeyPressed | QAbstractItemView::SelectedClicked);
    grid->setWordWrap(false);
    grid->verticalHeader()->hide();
    grid->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    grid->verticalHeader()->setDefaultSectionSize(grid->fontMetrics().height() + 8);
    grid->horizontalHeader()->setHighlightSections(false);
    grid->installEventFilter(this);
    connect(grid->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this] { EmitRecInfo(); });
}

void GridController::SetAlternatingRows(bool on) {
    if (m_grid)
        m_grid->setAlternatingRowColors(on);
}

void GridController::LockingColumns(const QString& columns) {
    m_locking.clear();
    for (int col : NumberList(columns))
        m_locking << col - 1;
}

void GridController::ReadOnlyColumns(const QString& columns) {
    m_readOnly.clear();
    for (int col : NumberList(columns))
        m_readOnly << col - 1;
}

void GridController::ComboColumns(const QString& columns) {
    const QVector<int> numbers = NumberList(columns);
    m_comboCol = numbers.isEmpty() ? -1 : numbers.first() - 1;
}

void GridController::ColumnTypes(const QVector<GridColumn>& types) {
    m_types = types;
}

void GridController::ColumnWidths(const QString& widths) {
    m_widths = NumberList(widths);
    m_layoutColumns = -1;
    ApplyLayout();
}

void GridController::SetEditable(bool editable) {
    m_editable = editable;
    if (editable) {
        EnsureNewLine();
    } else if (!m_model->rows.isEmpty() && m_model->rows.last().newLine) {
        const int last = int(m_model->rows.size()) - 1;
        m_model->beginRemoveRows({}, last, last);
        m_model->rows.removeLast();
        m_model->endRemoveRows();
    }
    EmitRecInfo();
}

void GridController::Refresh() {
    QString sql;
    QString replacing;
    Q_EMIT evtBuildSQL(sql, replacing);
    m_sql = sql;
    m_select = GridSelectList::Parse(sql);
    Requery();
}

void GridController::Requery() {
    if (m_sql.isEmpty())
        return;
    const ::Rows data = DataAccess::instance().GetRows(m_sql);
    const QModelIndex previous = m_grid ? m_grid->currentIndex() : QModelIndex();

    m_model->beginResetModel();
    m_model->columns = data.ColumnNames();
    m_model->rows.clear();
    const int columns = data.ColumnCount();
    m_model->rows.reserve(data.RowCount() + 1);
    for (int r = 0; r < data.RowCount(); ++r) {
        GridRow row;
        row.cells.reserve(columns);
        for (int c = 0; c < columns; ++c)
            row.cells << Display(c, data.Value(c, r));
        m_model->rows << row;
    }
    m_model->endResetModel();
    ApplyLayout();
    EnsureNewLine();

    if (m_grid && !m_model->rows.isEmpty()) {
        const int row =
            std::clamp(previous.isValid() ? previous.row() : 0, 0, int(m_model->rows.size()) - 1);
        int col = previous.isValid() ? previous.column() : -1;
        if (col < 0 || m_grid->isColumnHidden(col)) {
            col = 0;
            while (col < columns - 1 && m_grid->isColumnHidden(col))
                ++col;
        }
        m_grid->setCurrentIndex(m_model->index(row, col));
    }
    EmitRecInfo();
    Q_EMIT evtAfterDisplay();
}

qint32 GridController::RecordCount() const {
    qint32 count = 0;
    for (const GridRow& row : m_model->rows)
        if (!row.newLine)
            ++count;
    return count;
}

qint16 GridController::CurrentRow() const {
    return m_navigator.CurrentRow();
}

qint16 GridController::CurrentCol() const {
    return m_navigator.CurrentCol();
}

void GridController::SetCurrentCell(int row, int col) {
    m_navigator.SetCurrentCell(row, col);
}

bool GridController::IsNewLine(int row) const {
    const int r = RowIndex(row);
    return r >= 0 && m_model->rows[r].newLine;
}

QString GridController::CellText(int row, const QVariant& col) const {
    const int r = RowIndex(row);
    const int c = ColumnIndex(col);
    if (r < 0 || c < 0)
        return {};
    return m_model->rows[r].cells[c];
}

void GridController::SetCellText(int row, const QVariant& col, const QString& text) {
    const int r = RowIndex(row);
    const int c = ColumnIndex(col);
    if (r < 0 || c < 0)
        return;
    GridRow& line = m_model->rows[r];
    line.cells[c] = text;
    if (c == m_comboCol)
        line.comboId = 0; // found again from the text when the row is saved
    m_model->RowChanged(r);
}

QString GridController::CellValue(const QVariant& col) const {
    return CellText(-1, col);
}

qint32 GridController::RecordKey(int) const {
    return qint32(U().SqlNumber(CellText(-1, 1)));
}

void GridController::SetRecordKey(int, qint32 key) {
    const int r = RowIndex(-1);
    if (r < 0)
        return;
    m_model->rows[r].cells[0] = key ? QString::number(key) : QString();
    if (key)
        m_model->rows[r].newLine = false;
    m_model->RowChanged(r);
}

qint32 GridController::ComboId(int row) const {
    const int r = RowIndex(row);
    return r < 0 ? 0 : m_model->rows[r].comboId;
}

void GridController::FillComboColumn(const QString& sql, const QString& textField,
                                     const QString& idField, int) {
    m_comboList.Fill(sql, textField, idField);
}

void GridController::BrowseComboColumn(const NameSource& source, const QString& idField) {
    m_comboList.Browse(source, idField);
}

qint32 GridController::SaveRow(const QString& table, const QString& where,
                               const QString& extraFields, const QString& extraValues,
                               const QString& skipFields) {
    const int r = RowIndex(-1);
    if (r < 0)
        return 0;
    QStringList skips;
    for (const QString& field : skipFields.split(',', Qt::SkipEmptyParts))
        skips << field.trimmed().toLower();

    QStringList fields;
    QStringList values;
    EnsureComboList();
    const int columns = int(std::min(m_select.Size(), int(m_model->columns.size())));
    for (int c = 1; c < columns; ++c) {
        const GridSelectList::Column& source = m_select.At(c);
        if (skips.contains(source.expression.toLower()) ||
            skips.contains(m_model->columns[c].toLower()))
            continue;
        if (c == m_comboCol && !m_comboList.IdField().isEmpty()) {
            GridRow& line = m_model->rows[r];
            if (line.comboId == 0)
                line.comboId = ResolveComboId(line.cells[c]);
            fields << m_comboList.IdField();
            values << QString::number(line.comboId);
        }
        if (!m_select.OfTable(c, table))
            continue;
        fields << source.column;
        values << SqlLiteral(c, m_model->rows[r].cells[c]);
    }
    if (!extraFields.trimmed().isEmpty()) {
        fields << extraFields;
        values << extraValues;
    }

    qint32 key = 0;
    DataAccess& db = DataAccess::instance();
    if (where.trimmed().isEmpty()) {
        key = db.InsertRecord(table, fields.join(','), values.join(','));
    } else {
        db.UpdateRecord(table, fields.join(','), values.join(','), where);
        key = RecordKey(0);
    }
    m_model->rows[r].dirty = false;
    m_model->RowChanged(r);
    return key;
}

bool GridController::IsEditing() const {
    const int r = RowIndex(-1);
    return m_delegate->editor || (r >= 0 && m_model->rows[r].dirty);
}

void GridController::Command(int code) {
    if (code != 4)
        return;
    if (QWidget* editor = m_delegate->editor) {
        Q_EMIT m_delegate->commitData(editor);
        Q_EMIT m_delegate->closeEditor(editor, QAbstractItemDelegate::NoHint);
    }
    const int r = RowIndex(-1);
    if (r >= 0 && m_model->rows[r].dirty)
        AfterEdit(r + 1, CurrentCol());
}

void GridController::NavigatorClick(int index) {
    m_navigator.Move(index, RecordCount());
}

double GridController::ColumnTotal(const QVariant& col, int kind) const {
    const int c = ColumnIndex(col);
    if (kind == 1)
        return RecordCount();
    if (kind != 2 || c < 0)
        return 0;
    double total = 0;
    for (const GridRow& row : m_model->rows)
        if (!row.newLine)
            total += U().SqlNumber(row.cells[c]);
    return total;
}

void GridController::PrintGrid(PreviewControl& preview, const QString& fontName,
                               const QString& title, const QString& subtitle,
                               const QString& device) {
    if (!device.isEmpty())
        preview.SetDevice(device);
    preview.SetDocument(
        PrintPages(fontName, title, subtitle, QSize(preview.PaperWidth(), preview.PaperHeight())));
}

PageModel GridController::PrintPages(const QString& fontName, const QString& title,
                                     const QString& subtitle, QSize paper) const {
    QVector<bool> numeric;
    for (int c = 0; c < m_model->columns.size(); ++c)
        numeric << IsNumericColumn(Type(c));
    return GridPrinter::Pages(*m_model, m_widths, numeric, fontName, title, subtitle, paper);
}

bool GridController::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_grid && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Delete &&
        static_cast<QKeyEvent*>(event)->modifiers() == Qt::NoModifier) {
        DeleteCurrentRow();
        return true;
    }
    return QObject::eventFilter(watched, event);
}

int GridController::ColumnIndex(const QVariant& col) const {
    if (col.typeId() == QMetaType::Int || col.typeId() == QMetaType::LongLong ||
        col.typeId() == QMetaType::Short) {
        const int c = col.toInt() - 1;
        return c >= 0 && c < m_model->columns.size() ? c : -1;
    }
    const QString name = col.toString();
    for (int c = 0; c < m_model->columns.size(); ++c)
        if (m_model->columns[c].compare(name, Qt::CaseInsensitive) == 0)
            return c;
    return -1;
}

int GridController::RowIndex(int row) const {
    const int r = row == -1 ? CurrentRow() - 1 : row - 1;
    return r >= 0 && r < m_model->rows.size() ? r : -1;
}

GridColumn GridController::Type(int col) const {
    return col >= 0 && col < m_types.size() ? m_types[col] : GridColumn::Text;
}

QString GridController::Display(int col, const QVariant& value) const {
    if (!value.isValid() || value.isNull())
        return {};
    switch (Type(col)) {
    case GridColumn::Date:
        return U().FormatDate(2, value).toString();
    case GridColumn::Money:
    case GridColumn::Percentage:
        return AmountText::Number(U().SqlNumber(value));
    case GridColumn::Number:
        return AmountText::Plain(Utility::RoundHalfAway(U().SqlNumber(value), m_numberDecimals));
    case GridColumn::Text:
        break;
    }
    return value.toString();
}

QString GridController::SqlLiteral(int col, const QString& text) const {
    const GridColumn type = Type(col);
    if (IsNumericColumn(type))
        return U().SqlValue(U().SqlNumber(text), 0, true);
    if (type == GridColumn::Date)
        return QString::number(U().FormatDate(3, text).toLongLong());
    return U().SqlValue(text, 0, true);
}

bool GridController::CellEditable(int row, int col) const {
    if (!m_editable || col == 0 || m_locking.contains(col) || m_readOnly.contains(col) || row < 0 ||
        row >= m_model->rows.size())
        return false;
    if (m_grid && m_grid->isColumnHidden(col))
        return false;
    const GridRow& line = m_model->rows[row];
    for (int locked : m_locking)
        if (locked >= 0 && locked < line.cells.size() && !line.cells[locked].isEmpty())
            return false;
    return true;
}

void GridController::UserEdit(int row, int col, const QString& text, bool fromList) {
    const int r = row - 1;
    const int c = col - 1;
    if (m_inEdit || r < 0 || r >= m_model->rows.size() || c < 0 || c >= m_model->columns.size())
        return;
    QString value = text.trimmed();
    // An editor closed on the text it opened with is no edit (an empty new line passed through).
    if (value == m_model->rows[r].cells[c])
        return;
    // An empty amount or percentage is no value yet; a count of units needs one.
    if (IsNumericColumn(Type(c)) && (!value.isEmpty() || Type(c) == GridColumn::Number)) {
        const TypedNumber::Reading reading =
            TypedNumber::Read(text, KindOf(Type(c)), m_model->columns[c]);
        if (!reading.Ok()) {
            Ui::current().Message(Tr("Aviso"), Tr(reading.error), Ui::Icon::Exclamation);
            EditAgain(row, col, text);
            return;
        }
        value = Display(c, reading.value); // "4.5" in a money column reads "4,50"
    }
    qint32 comboId = 0;
    if (c == m_comboCol) {
        EnsureComboList();
        // A name typed in another case is the catalogue's entry, written as the catalogue has it.
        if (const std::optional<GridComboList::Entry> entry = m_comboList.Find(value)) {
            value = entry->name;
            comboId = entry->id;
        }
    }
    GridRow& line = m_model->rows[r];
    if (value == line.cells[c])
        return;
    line.cells[c] = value;
    line.dirty = true;
    if (c == m_comboCol)
        line.comboId = comboId;
    m_model->RowChanged(r);
    SetCurrentCell(row, col);

    m_inEdit = true;
    try {
        if (fromList)
            Q_EMIT evtComboClickMouse(col);
        else
            Q_EMIT evtLeaveCell(row, col);
        AfterEdit(row, col);
    } catch (...) {
        m_inEdit = false;
        throw;
    }
    m_inEdit = false;
}

void GridController::EditAgain(int row, int col, const QString& text) {
    // Once the view has moved on to the next cell: back to the refused one, its text as typed.
    QTimer::singleShot(0, this, [this, row, col, text] {
        if (!m_grid || row - 1 >= m_model->rows.size())
            return;
        if (m_delegate->editor)
            Q_EMIT m_delegate->closeEditor(m_delegate->editor, QAbstractItemDelegate::NoHint);
        const QModelIndex index = m_model->index(row - 1, col - 1);
        m_delegate->refusedIndex = index;
        m_delegate->refusedText = text;
        m_grid->setCurrentIndex(index);
        m_grid->edit(index);
    });
}

void GridController::AfterEdit(int row, int col) {
    const int r = row - 1;
    if (r < 0 || r >= m_model->rows.size())
        return;
    if (m_model->rows[r].dirty) {
        bool success = false;
        if (m_model->rows[r].newLine) {
            Q_EMIT evtRecInsert(row, success);
            if (success)
                m_model->rows[r].newLine = false;
        } else {
            Q_EMIT evtRecEdit(row, col, success);
        }
        if (success) {
            m_model->rows[r].dirty = false;
            m_model->RowChanged(r);
        }
    }
    EnsureNewLine();
    EmitRecInfo();
}

void GridController::DeleteCurrentRow() {
    const int r = RowIndex(-1);
    if (!m_editable || r < 0)
        return;
    GridRow& line = m_model->rows[r];
    if (line.newLine) {
        // Nothing stored yet: the typed text is simply dropped.
        line.cells.fill(QString());
        line.comboId = 0;
        line.dirty = false;
        m_model->RowChanged(r);
        return;
    }
    if (m_confirmDelete &&
        !Ui::current().Confirm(Tr("Confirmación"),
                               m_deleteQuestion ? m_deleteQuestion(r + 1)
                                                : Tr("¿Está seguro de realizar la operación?"),
                               Ui::Default::Yes))
        return;
    bool success = false;
    Q_EMIT evtRecDelete(r + 1, success);
    if (!success)
        return;
    m_model->beginRemoveRows({}, r, r);
    m_model->rows.remove(r);
    m_model->endRemoveRows();
    EmitRecInfo();
    Q_EMIT evtAfterDisplay();
}

void GridController::EnsureNewLine() {
    if (!m_editable || m_model->columns.isEmpty())
        return;
    if (!m_model->rows.isEmpty() && m_model->rows.last().newLine)
        return;
    const int at = int(m_model->rows.size());
    GridRow line;
    line.cells = QStringList(m_model->columns.size(), QString());
    line.newLine = true;
    m_model->beginInsertRows({}, at, at);
    m_model->rows << line;
    m_model->endInsertRows();
}

void GridController::ApplyLayout() {
    const int columns = int(m_model->columns.size());
    if (!m_grid || columns == 0 || columns == m_layoutColumns)
        return;
    m_layoutColumns = columns;
    const int charWidth = m_grid->fontMetrics().horizontalAdvance('0');
    QHeaderView* header = m_grid->horizontalHeader();
    header->setStretchLastSection(false);
    for (int c = 0; c < columns; ++c) {
        const int width = m_widths.value(c, 10);
        m_grid->setColumnHidden(c, width == 0);
        if (width > 0)
            m_grid->setColumnWidth(c, width * charWidth + 12);
        header->setSectionResizeMode(c, c == m_comboCol ? QHeaderView::Stretch
                                                        : QHeaderView::Interactive);
    }
}

void GridController::EmitRecInfo() {
    const GridNavigator::RecInfo info = m_navigator.Info(RecordCount());
    Q_EMIT evtRecInfo(info.record, info.records, info.page, info.pages);
}

void GridController::EnsureComboList() {
    // A value typed without ever opening the drop-down is matched against the list all the same.
    if (m_comboCol >= 0 && m_comboList.IdField().isEmpty())
        Q_EMIT evtComboDropDown(m_comboCol + 1);
}

qint32 GridController::ResolveComboId(const QString& text) {
    if (text.trimmed().isEmpty())
        return 0;
    auto lookup = [this, &text]() -> qint32 {
        const std::optional<GridComboList::Entry> entry = m_comboList.Find(text.trimmed());
        return entry ? entry->id : 0;
    };
    if (const qint32 id = lookup())
        return id;
    // The entry may be newer than the list (created a moment ago): read the list again.
    Q_EMIT evtComboDropDown(m_comboCol + 1);
    return lookup();
}
