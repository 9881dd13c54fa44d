#include "platform/ui/widgets/GridController.h"

#include "platform/data/DataAccess.h"
#include "platform/report/PageModel.h"
#include "platform/report/PreviewControl.h"
#include "platform/ui/seam/Ui.h"
#include "platform/util/Utility.h"

#include <QAbstractTableModel>
#include <QComboBox>
#include <QCompleter>
#include <QFont>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListView>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QStringListModel>
#include <QStyledItemDelegate>
#include <QTableView>
#include <algorithm>

namespace {

QString Tr(const QString& text) {
    return DataAccess::instance().Translate(text);
}

bool IsNumeric(QChar type) {
    return type == 'n' || type == 'm' || type == 'p';
}

// "2,3" -> {2, 3}; blanks and empty pieces are ignored.
QVector<int> NumberList(const QString& text) {
    QVector<int> numbers;
    for (const QString& piece : text.split(',', Qt::SkipEmptyParts))
        if (const QString trimmed = piece.trimmed(); !trimmed.isEmpty())
            numbers << trimmed.toInt();
    return numbers;
}

bool LooksNumeric(const QString& text) {
    static const QRegularExpression number(R"(^\s*-?(\d+([.,]\d*)?|[.,]\d+)\s*$)");
    return number.match(text).hasMatch();
}

// Splits text at the separator where it stands outside parentheses, brackets and quotes.
QStringList SplitTopLevel(const QString& text, QChar separator) {
    QStringList parts;
    int depth = 0;
    QChar quote;
    int start = 0;
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (!quote.isNull()) {
            if (c == quote)
                quote = QChar();
        } else if (c == '\'' || c == '"') {
            quote = c;
        } else if (c == '(' || c == '[') {
            ++depth;
        } else if (c == ')' || c == ']') {
            --depth;
        } else if (c == separator && depth == 0) {
            parts << text.mid(start, i - start);
            start = i + 1;
        }
    }
    parts << text.mid(start);
    return parts;
}

// Position of the first keyword (a whole word) outside parentheses, brackets and quotes; -1.
int FindTopLevelWord(const QString& text, const QString& word, int from = 0) {
    int depth = 0;
    QChar quote;
    for (int i = from; i < text.size(); ++i) {
        const QChar c = text[i];
        if (!quote.isNull()) {
            if (c == quote)
                quote = QChar();
            continue;
        }
        if (c == '\'' || c == '"')
            quote = c;
        else if (c == '(' || c == '[')
            ++depth;
        else if (c == ')' || c == ']')
            --depth;
        else if (depth == 0 && text.mid(i, word.size()).compare(word, Qt::CaseInsensitive) == 0) {
            const bool startOk = i == 0 || !text[i - 1].isLetterOrNumber();
            const int after = i + int(word.size());
            const bool endOk = after >= text.size() || !text[after].isLetterOrNumber();
            if (startOk && endOk)
                return i;
        }
    }
    return -1;
}

// An editable combo that opens its list on the arrow keys instead of stepping through it, so a
// stray key never picks a product; a choice made in its open list ends the edit.
class GridCombo : public QComboBox {
public:
    using QComboBox::QComboBox;
    bool listShown = false;

    void showPopup() override {
        listShown = true;
        QComboBox::showPopup();
    }

protected:
    void keyPressEvent(QKeyEvent* event) override {
        if ((event->key() == Qt::Key_Down || event->key() == Qt::Key_Up) &&
            !(event->modifiers() & Qt::AltModifier)) {
            showPopup();
            return;
        }
        QComboBox::keyPressEvent(event);
    }
};

struct GridRow {
    QStringList cells;
    qint32 comboId = 0;
    bool dirty = false;   // changed by the user and not saved since
    bool newLine = false; // the line for a new record at the bottom
};

} // namespace

class GridModel : public QAbstractTableModel {
public:
    explicit GridModel(GridController* owner) : QAbstractTableModel(owner), m_owner(owner) {}

    QStringList columns;
    QVector<GridRow> rows;

    using QAbstractTableModel::beginInsertRows;
    using QAbstractTableModel::beginRemoveRows;
    using QAbstractTableModel::beginResetModel;
    using QAbstractTableModel::endInsertRows;
    using QAbstractTableModel::endRemoveRows;
    using QAbstractTableModel::endResetModel;

    int rowCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : int(rows.size());
    }
    int columnCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : int(columns.size());
    }

    QVariant data(const QModelIndex& index, int role) const override {
        if (!index.isValid())
            return {};
        const GridRow& row = rows[index.row()];
        const int col = index.column();
        switch (role) {
        case Qt::DisplayRole:
            if (row.newLine && col == 0 && row.cells[0].isEmpty())
                return QStringLiteral("*");
            return row.cells[col];
        case Qt::EditRole:
            return row.cells[col];
        case Qt::TextAlignmentRole:
            return int(Qt::AlignVCenter |
                       (IsNumeric(m_owner->Type(col)) ? Qt::AlignRight : Qt::AlignLeft));
        case Qt::FontRole:
            if (row.dirty) {
                // A change that could not be saved stays visible, marked as such.
                QFont font;
                font.setItalic(true);
                return font;
            }
            return {};
        default:
            return {};
        }
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section < columns.size())
            return columns[section];
        return QAbstractTableModel::headerData(section, orientation, role);
    }

    Qt::ItemFlags flags(const QModelIndex& index) const override {
        Qt::ItemFlags flags = QAbstractTableModel::flags(index);
        if (index.isValid() && m_owner->CellEditable(index.row(), index.column()))
            flags |= Qt::ItemIsEditable;
        return flags;
    }

    bool setData(const QModelIndex& index, const QVariant& value, int role) override {
        if (!index.isValid() || role != Qt::EditRole)
            return false;
        const bool fromList = m_pickedFromList;
        m_pickedFromList = false;
        m_owner->UserEdit(index.row() + 1, index.column() + 1, value.toString(), fromList);
        return true;
    }

    void RowChanged(int row) {
        Q_EMIT dataChanged(index(row, 0), index(row, int(columns.size()) - 1));
    }

    bool m_pickedFromList = false;

private:
    GridController* m_owner;
};

class GridDelegate : public QStyledItemDelegate {
public:
    explicit GridDelegate(GridController* owner) : QStyledItemDelegate(owner), m_owner(owner) {}

    QPointer<QWidget> editor; // the editor open now, if any

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override {
        auto* self = const_cast<GridDelegate*>(this);
        QWidget* widget = nullptr;
        const QChar type = m_owner->Type(index.column());
        if (index.column() == m_owner->m_comboCol) {
            // The window fills the list when it drops down, so a product created a moment ago
            // is offered too.
            Q_EMIT m_owner->evtComboDropDown(index.column() + 1);
            auto* combo = new GridCombo(parent);
            combo->setEditable(true);
            combo->setInsertPolicy(QComboBox::NoInsert);
            combo->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
            combo->setMaxVisibleItems(20);
            combo->setModel(m_owner->m_comboModel);
            if (auto* list = qobject_cast<QListView*>(combo->view()))
                list->setUniformItemSizes(true);
            auto* completer = new QCompleter(m_owner->m_comboModel, combo);
            completer->setCaseSensitivity(Qt::CaseInsensitive);
            completer->setFilterMode(Qt::MatchContains);
            completer->setCompletionMode(QCompleter::PopupCompletion);
            completer->setMaxVisibleItems(15);
            combo->setCompleter(completer);
            // Picking a name in the type-ahead popup ends the edit, as picking it in the list does.
            QObject::connect(completer, qOverload<const QString&>(&QCompleter::activated), self,
                             [self, combo](const QString& text) {
                                 combo->setEditText(text);
                                 combo->setProperty("pickedFromList", true);
                                 Q_EMIT self->commitData(combo);
                                 Q_EMIT self->closeEditor(combo,
                                                          self->m_owner->m_enterMovesNext
                                                              ? QAbstractItemDelegate::EditNextItem
                                                              : QAbstractItemDelegate::NoHint);
                             });
            QObject::connect(combo, &QComboBox::activated, self, [self, combo] {
                if (!combo->listShown)
                    return;
                combo->setProperty("pickedFromList", true);
                Q_EMIT self->commitData(combo);
                Q_EMIT self->closeEditor(combo, QAbstractItemDelegate::NoHint);
            });
            widget = combo;
        } else if (IsNumeric(type)) {
            auto* edit = new QLineEdit(parent);
            static const QRegularExpression number(R"(-?\d*([.,]\d*)?)");
            edit->setValidator(new QRegularExpressionValidator(number, edit));
            edit->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
            widget = edit;
        } else {
            widget = QStyledItemDelegate::createEditor(parent, option, index);
        }
        self->editor = widget;
        return widget;
    }

    void setEditorData(QWidget* widget, const QModelIndex& index) const override {
        const QString text = index.data(Qt::EditRole).toString();
        if (auto* combo = qobject_cast<QComboBox*>(widget)) {
            combo->setEditText(text);
            combo->lineEdit()->selectAll();
        } else if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
            edit->setText(text);
            edit->selectAll();
        } else {
            QStyledItemDelegate::setEditorData(widget, index);
        }
    }

    void setModelData(QWidget* widget, QAbstractItemModel* model,
                      const QModelIndex& index) const override {
        QString text;
        if (auto* combo = qobject_cast<QComboBox*>(widget)) {
            text = combo->currentText();
            m_owner->m_model->m_pickedFromList = combo->property("pickedFromList").toBool();
        } else if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
            text = edit->text();
        } else {
            QStyledItemDelegate::setModelData(widget, model, index);
            return;
        }
        model->setData(index, text, Qt::EditRole);
    }

protected:
    bool eventFilter(QObject* object, QEvent* event) override {
        if (event->type() == QEvent::KeyPress && m_owner->m_enterMovesNext) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            auto* widget = qobject_cast<QWidget*>(object);
            if ((key == Qt::Key_Return || key == Qt::Key_Enter) && widget) {
                Q_EMIT commitData(widget);
                Q_EMIT closeEditor(widget, QAbstractItemDelegate::EditNextItem);
                return true;
            }
        }
        return QStyledItemDelegate::eventFilter(object, event);
    }

private:
    GridController* m_owner;
};

GridController::GridController(QObject* parent)
    : QObject(parent), m_model(new GridModel(this)), m_delegate(new GridDelegate(this)),
      m_comboModel(new QStringListModel(this)) {
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

void GridController::ComboColumns(const QString& columns) {
    const QVector<int> numbers = NumberList(columns);
    m_comboCol = numbers.isEmpty() ? -1 : numbers.first() - 1;
}

void GridController::ColumnTypes(const QString& types) {
    m_types = types.toLower();
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
    ParseSelectList();
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
    if (!m_grid || !m_grid->currentIndex().isValid())
        return 0;
    return qint16(m_grid->currentIndex().row() + 1);
}

qint16 GridController::CurrentCol() const {
    if (!m_grid || !m_grid->currentIndex().isValid())
        return 0;
    return qint16(m_grid->currentIndex().column() + 1);
}

void GridController::SetCurrentCell(int row, int col) {
    if (!m_grid || row < 1 || row > m_model->rows.size())
        return;
    int c = col - 1;
    if (c < 0 || c >= m_model->columns.size())
        c = std::max(0, m_grid->currentIndex().column());
    const QModelIndex index = m_model->index(row - 1, c);
    if (index != m_grid->currentIndex())
        m_grid->setCurrentIndex(index);
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
    const int columns = int(std::min(m_select.size(), m_model->columns.size()));
    for (int c = 1; c < columns; ++c) {
        const SqlColumn& source = m_select[c];
        if (skips.contains(source.expression.toLower()) ||
            skips.contains(m_model->columns[c].toLower()))
            continue;
        const bool ofTable =
            !source.column.isEmpty() &&
            (source.table.isEmpty() || source.table.compare(table, Qt::CaseInsensitive) == 0);
        if (c == m_comboCol && !m_comboIdField.isEmpty()) {
            GridRow& line = m_model->rows[r];
            if (line.comboId == 0)
                line.comboId = ResolveComboId(line.cells[c]);
            fields << m_comboIdField;
            values << QString::number(line.comboId);
        }
        if (!ofTable)
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

void GridController::FillComboColumn(const QString& sql, const QString& textField,
                                     const QString& idField, int) {
    const ::Rows data = DataAccess::instance().GetRows(sql);
    QStringList texts;
    texts.reserve(data.RowCount());
    m_comboIds.clear();
    m_comboIds.reserve(data.RowCount());
    m_comboIndex.clear();
    for (int r = 0; r < data.RowCount(); ++r) {
        const QString text = data.Value(textField, r).toString();
        m_comboIndex.insert(text.toLower(), int(texts.size()));
        texts << text;
        m_comboIds << qint32(U().SqlNumber(data.Value(idField, r)));
    }
    m_comboIdField = idField;
    m_comboModel->setStringList(texts);
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
    const int rows = int(m_model->rows.size());
    if (rows == 0)
        return;
    const int current = std::max(1, int(CurrentRow()));
    int target = current;
    switch (index) {
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
        target = std::max(1, int(RecordCount()));
        break;
    default:
        return;
    }
    SetCurrentCell(std::clamp(target, 1, rows), CurrentCol());
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
    constexpr int margin = 720; // half an inch
    constexpr int rowHeight = 260;
    constexpr int cellPadding = 60;
    const ReportFont titleFont{fontName, 14, true};
    const ReportFont subtitleFont{fontName, 10};
    const ReportFont headFont{fontName, 9, true};
    const ReportFont bodyFont{fontName, 9};

    QVector<int> visible;
    int units = 0;
    for (int c = 0; c < m_model->columns.size(); ++c) {
        const int width = m_widths.value(c, 10);
        if (width > 0) {
            visible << c;
            units += width;
        }
    }
    const int usableWidth = paper.width() - 2 * margin;
    QVector<int> lefts;
    QVector<int> widths;
    int x = margin;
    for (int c : visible) {
        const int width = units > 0 ? usableWidth * m_widths.value(c, 10) / units : 0;
        lefts << x;
        widths << width;
        x += width;
    }

    QVector<const GridRow*> rows;
    for (const GridRow& row : m_model->rows)
        if (!row.newLine)
            rows << &row;

    const int headTop = margin + 420 + 320;
    const int bodyTop = headTop + rowHeight + 40;
    const int footerTop = paper.height() - margin - rowHeight;
    const int perPage = std::max(1, (footerTop - bodyTop) / rowHeight);
    const int pages = std::max<int>(1, int((rows.size() + perPage - 1) / perPage));

    auto text = [](QRect rect, const QString& value, const ReportFont& font, int alignment) {
        PageItem item;
        item.kind = PageItem::Text;
        item.rect = rect;
        item.text = value;
        item.font = font;
        item.alignment = alignment;
        return item;
    };
    auto line = [](int left, int top, int width) {
        PageItem item;
        item.kind = PageItem::Line;
        item.rect = QRect(left, top, width, 0);
        return item;
    };

    PageModel model;
    for (int p = 0; p < pages; ++p) {
        Page& page = model.AddPage(paper);
        page.items << text(QRect(margin, margin, usableWidth, 420), title, titleFont,
                           Qt::AlignLeft | Qt::AlignVCenter);
        page.items << text(QRect(margin, margin + 420, usableWidth, 320), subtitle, subtitleFont,
                           Qt::AlignLeft | Qt::AlignVCenter);
        for (int i = 0; i < visible.size(); ++i) {
            const int align =
                (IsNumeric(Type(visible[i])) ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter;
            page.items << text(
                QRect(lefts[i] + cellPadding, headTop, widths[i] - 2 * cellPadding, rowHeight),
                m_model->columns[visible[i]], headFont, align);
        }
        page.items << line(margin, headTop + rowHeight + 20, usableWidth);
        const int first = p * perPage;
        const int last = std::min<int>(int(rows.size()), first + perPage);
        for (int r = first; r < last; ++r) {
            const int top = bodyTop + (r - first) * rowHeight;
            for (int i = 0; i < visible.size(); ++i) {
                const int align = (IsNumeric(Type(visible[i])) ? Qt::AlignRight : Qt::AlignLeft) |
                                  Qt::AlignVCenter;
                page.items << text(
                    QRect(lefts[i] + cellPadding, top, widths[i] - 2 * cellPadding, rowHeight),
                    rows[r]->cells[visible[i]], bodyFont, align);
            }
        }
        page.items << text(QRect(margin, footerTop, usableWidth, rowHeight),
                           Tr("Página") + " " + QString::number(p + 1) + " " + Tr("de") + " " +
                               QString::number(pages),
                           bodyFont, Qt::AlignRight | Qt::AlignVCenter);
    }
    return model;
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

QChar GridController::Type(int col) const {
    return col >= 0 && col < m_types.size() ? m_types[col] : QChar('t');
}

QString GridController::Display(int col, const QVariant& value) const {
    if (!value.isValid() || value.isNull())
        return {};
    switch (Type(col).unicode()) {
    case 'l':
        return U().FormatDate(2, value).toString();
    case 'm':
    case 'p':
        return U().SqlValue(value, 2, false);
    case 'n':
        return Utility::NumberText(Utility::RoundHalfAway(U().SqlNumber(value), m_numberDecimals));
    default:
        return value.toString();
    }
}

QString GridController::SqlLiteral(int col, const QString& text) const {
    const QChar type = Type(col);
    if (IsNumeric(type))
        return U().SqlValue(U().SqlNumber(text), 0, true);
    if (type == 'l')
        return QString::number(U().FormatDate(3, text).toLongLong());
    return U().SqlValue(text, 0, true);
}

bool GridController::CellEditable(int row, int col) const {
    if (!m_editable || col == 0 || m_locking.contains(col) || row < 0 ||
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
    if (IsNumeric(Type(c)) && !text.trimmed().isEmpty() && !LooksNumeric(text)) {
        Ui::current().Message(Tr("Aviso"),
                              Tr("El valor de") + " " + m_model->columns[c] + " " +
                                  Tr("debe ser un número."),
                              Ui::Icon::Exclamation);
        return;
    }
    QString value = text.trimmed();
    if (IsNumeric(Type(c)) && !value.isEmpty())
        value = Display(c, U().SqlNumber(value)); // "4,5" in a money column reads "4.50"
    qint32 comboId = 0;
    if (c == m_comboCol) {
        EnsureComboList();
        // A name typed in another case is the catalogue's entry, written as the catalogue has it.
        if (const auto found = m_comboIndex.constFind(value.toLower());
            found != m_comboIndex.constEnd()) {
            value = m_comboModel->stringList().at(found.value());
            comboId = m_comboIds.at(found.value());
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
        !Ui::current().Confirm(Tr("Confirmación"), Tr("¿Está seguro de realizar la operación?")))
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

int GridController::RowsPerPage() const {
    if (!m_grid || !m_grid->isVisible())
        return 20;
    const int rowHeight = std::max(1, m_grid->verticalHeader()->defaultSectionSize());
    return std::max(1, m_grid->viewport()->height() / rowHeight);
}

void GridController::EmitRecInfo() {
    const qint32 records = RecordCount();
    const int current = CurrentRow();
    const qint32 record = current >= 1 && current <= records ? current : 0;
    const int perPage = RowsPerPage();
    const qint32 pages = std::max(1, (records + perPage - 1) / perPage);
    const qint32 page = record > 0 ? (record - 1) / perPage + 1 : pages;
    Q_EMIT evtRecInfo(record, records, page, pages);
}

void GridController::EnsureComboList() {
    // A value typed without ever opening the drop-down is matched against the list all the same.
    if (m_comboCol >= 0 && m_comboIdField.isEmpty())
        Q_EMIT evtComboDropDown(m_comboCol + 1);
}

qint32 GridController::ResolveComboId(const QString& text) {
    if (text.trimmed().isEmpty())
        return 0;
    auto lookup = [this, &text]() -> qint32 {
        const auto found = m_comboIndex.constFind(text.trimmed().toLower());
        return found == m_comboIndex.constEnd() ? 0 : m_comboIds.at(found.value());
    };
    if (const qint32 id = lookup())
        return id;
    // The entry may be newer than the list (created a moment ago): read the list again.
    Q_EMIT evtComboDropDown(m_comboCol + 1);
    return lookup();
}

void GridController::ParseSelectList() {
    m_select.clear();
    QString sql = m_sql.trimmed();
    const int selectAt = FindTopLevelWord(sql, "SELECT");
    const int fromAt = FindTopLevelWord(sql, "FROM", std::max(0, selectAt));
    if (selectAt < 0 || fromAt < 0)
        return;
    QString list = sql.mid(selectAt + 6, fromAt - selectAt - 6).trimmed();
    if (list.startsWith("DISTINCT ", Qt::CaseInsensitive))
        list = list.mid(9);
    static const QRegularExpression plainName(R"(^[A-Za-z_]\w*(\.[A-Za-z_]\w*)?$)");
    for (const QString& item : SplitTopLevel(list, ',')) {
        SqlColumn column;
        QString expression = item.trimmed();
        int asAt = -1;
        for (int at = FindTopLevelWord(expression, "AS"); at >= 0;
             at = FindTopLevelWord(expression, "AS", at + 2))
            asAt = at;
        if (asAt > 0)
            expression = expression.left(asAt).trimmed();
        column.expression = expression;
        if (plainName.match(expression).hasMatch()) {
            const int dot = int(expression.lastIndexOf('.'));
            column.table = dot >= 0 ? expression.left(dot) : QString();
            column.column = expression.mid(dot + 1);
        }
        m_select << column;
    }
}
