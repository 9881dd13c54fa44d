// A report laid out into pages: its data run, its fields evaluated, its sections paged.

#include "platform/report/ReportLayout.h"

#include "platform/data/DataAccess.h"
#include "platform/report/Expression.h"
#include "platform/report/PainterWriter.h"
#include "platform/report/QrCode.h"
#include "platform/report/ReportDefinition.h"
#include "platform/report/ReportLimits.h"
#include "platform/util/TvError.h"
#include "platform/util/Utility.h"

#include <QCollator>
#include <algorithm>
#include <memory>
#include <numeric>
#include <vector>

namespace {

// Everything a report lays out fits in this many twips: more could not go on MaxPages pages of
// the tallest paper, and it still fits a 32-bit coordinate.
constexpr qint64 MaxExtent = qint64(ReportLimits::MaxTwips) * ReportLimits::MaxPages;

[[noreturn]] void TooManyPages(const QString& report) {
    throw TvError(ErrorNumber::BadReport,
                  QString("El informe \"%1\" tendría más de %2 páginas; no se ha generado")
                      .arg(report)
                      .arg(ReportLimits::MaxPages));
}

// A height that grew by sums: refused before it could overflow.
int Extent(qint64 height, const QString& report) {
    if (height > MaxExtent)
        TooManyPages(report);
    return int(height);
}

// A field that grew: its original top and bottom and how much taller it became.
struct Growth {
    int top;
    int bottom;
    int extra;
    qint64 shift = 0; // how far the fields above it pushed it down
};

struct CompiledField {
    const ReportField* field = nullptr;
    Expression expression;
};

// A field whose text depends on Page or Pages: evaluated again once the pages are known.
struct Deferred {
    int item;
    const CompiledField* field;
    Expression::Context context;
};

// One section instance, laid out at x from the paper's left edge and y from its own top.
struct Band {
    int row = -1;
    int height = 0;
    bool keepWithNext = false;
    QVector<PageItem> items;
    std::vector<Deferred> deferred;
};

// A text item or QR code that would draw nothing at all.
bool IsBlank(const PageItem& item) {
    if (item.kind == PageItem::QrCode)
        return item.text.isEmpty();
    return item.kind == PageItem::Text && item.text.isEmpty() && !item.background.isValid() &&
           item.borderWidth == 0;
}

// The item shows text; a QR code carries its symbol too.
void Show(PageItem& item, const QString& text, const ReportField& field) {
    item.text = text;
    if (item.kind != PageItem::QrCode)
        return;
    item.picture = QrCode::Symbol(text);
    if (!text.isEmpty() && item.picture.isNull())
        throw TvError(ErrorNumber::BadReport,
                      QString("El valor del campo \"%1\" no cabe en un código QR: tiene %2 bytes")
                          .arg(field.Name())
                          .arg(text.toUtf8().size()));
}

// The largest square in a field, at its top, placed across it as the field is aligned.
QRect QrSquare(const QRect& field, int alignment) {
    const int side = std::min(field.width(), field.height());
    const int spare = field.width() - side;
    const int shift = (alignment & Qt::AlignRight)     ? spare
                      : (alignment & Qt::AlignHCenter) ? spare / 2
                                                       : 0;
    return QRect(field.x() + shift, field.y(), side, side);
}

QString FieldText(const CompiledField& compiled, const Expression::Context& context) {
    const ReportField& field = *compiled.field;
    if (!field.Calculated()) {
        // A caption the caller filled with an amount ("17.51") is formatted like a calculated
        // one; any other caption is left as it is.
        bool number = false;
        const double value = QLocale::c().toDouble(field.Text().trimmed(), &number);
        return number && !field.Format().isEmpty()
                   ? Expression::FormatNumber(value, field.Format(), context.locale)
                   : field.Text();
    }
    const Expression::Value value = compiled.expression.Evaluate(context);
    if (!field.Format().isEmpty() && value.kind != Expression::Value::Null && value.IsNumeric())
        return Expression::FormatNumber(value.ToNumber(), field.Format(), context.locale);
    return value.ToText();
}

// QCollator has no strength setting. Two texts are the same letters, whatever their accents and
// case (Óscar and oscar, but not Ñandú and Nandú in Spanish), when a difference placed after
// them decides both orders.
bool SameLetters(const QCollator& collator, const QString& a, const QString& b) {
    return collator.compare(a + "0", b + "1") < 0 && collator.compare(b + "0", a + "1") < 0;
}

class Engine {
public:
    Engine(const ReportDefinition& report, int xOrigin) : m_report(report), m_xOrigin(xOrigin) {
        Fetch();
        Compile();
        MakeGroups();
    }

    PageModel Pages();
    Band Block();

private:
    struct BandRef {
        int section;
        int row;
        int groupBegin;
        int groupEnd;
        bool groupByDefault;
    };

    void Fetch() {
        m_hasSource = !m_report.RecordSource().trimmed().isEmpty();
        if (m_hasSource)
            m_rows = DataAccess::instance().GetRowsReadOnly(m_report.RecordSource());
        m_rowCount = m_rows.RowCount();
        Sort();
        m_hasHeader = !m_report.HeaderSource().trimmed().isEmpty();
        if (m_hasHeader)
            m_header = DataAccess::instance().GetRowsReadOnly(HeaderSql());
    }

    // Sorted here rather than by the query: a database orders texts by their character codes
    // (Óscar after Zoe), which no reader of a list in their own language expects.
    void Sort() {
        if (m_report.SortKeys().isEmpty())
            return;
        std::vector<Expression> expressions;
        for (const QString& key : m_report.SortKeys()) {
            try {
                expressions.push_back(Expression::Parse(key, Columns()));
            } catch (const Expression::Error& error) {
                BadExpression("La ordenación", key, error);
            }
        }
        std::vector<std::vector<Expression::Value>> keys(static_cast<size_t>(m_rowCount));
        Expression::Context context = BaseContext();
        for (int row = 0; row < m_rowCount; ++row) {
            context.row = row;
            for (const Expression& expression : expressions)
                keys[size_t(row)].push_back(expression.Evaluate(context));
        }
        const QCollator collator(m_report.Locale());
        const auto before = [&](int a, int b) {
            for (size_t k = 0; k < expressions.size(); ++k) {
                const Expression::Value &x = keys[size_t(a)][k], &y = keys[size_t(b)][k];
                // A number that is not finite sorts as the empty text it shows: compared as a
                // number it would be neither before nor after anything, and break the sort.
                const auto number = [](const Expression::Value& v) {
                    return v.kind == Expression::Value::Number && !v.IsNull();
                };
                const int order = number(x) && number(y)
                                      ? (x.number > y.number) - (x.number < y.number)
                                      : collator.compare(x.ToText(), y.ToText());
                if (order != 0)
                    return order < 0;
            }
            return false;
        };
        std::vector<int> order(static_cast<size_t>(m_rowCount));
        std::iota(order.begin(), order.end(), 0);
        std::stable_sort(order.begin(), order.end(), before);
        QVector<QVector<QVariant>> sorted;
        for (const int row : order) {
            QVector<QVariant> values;
            for (int column = 0; column < m_rows.ColumnCount(); ++column)
                values.append(m_rows.Value(column, row));
            sorted.append(values);
        }
        m_rows = Rows(m_rows.ColumnNames(), sorted);
    }

    // The header source with every ":name" replaced by the literal of the report's parameter
    // name, else of the column name in the first row (NULL without rows). Texts in quotes and "::"
    // casts are left alone.
    QString HeaderSql() const {
        const QString sql = m_report.HeaderSource();
        QString out;
        bool quoted = false;
        for (int i = 0; i < sql.size(); ++i) {
            quoted = quoted != (sql[i] == '\'');
            const bool parameter = !quoted && sql[i] == ':' && i + 1 < sql.size() &&
                                   (sql[i + 1].isLetter() || sql[i + 1] == '_');
            if (!parameter) {
                out += sql[i];
                if (!quoted && sql[i] == ':' && i + 1 < sql.size() && sql[i + 1] == ':')
                    out += sql[++i];
                continue;
            }
            int end = i + 1;
            while (end < sql.size() && (sql[end].isLetterOrNumber() || sql[end] == '_'))
                ++end;
            const QString name = sql.mid(i + 1, end - i - 1);
            i = end - 1;
            const QVariant* set = nullptr;
            for (auto p = m_report.Parameters().cbegin(); p != m_report.Parameters().cend(); ++p)
                if (p.key().compare(name, Qt::CaseInsensitive) == 0)
                    set = &p.value();
            if (set) {
                out += Utility::instance().SqlValue(*set, 0, true);
                continue;
            }
            const QStringList& columns = m_rows.ColumnNames();
            const bool known = std::any_of(columns.begin(), columns.end(), [&](const QString& c) {
                return c.compare(name, Qt::CaseInsensitive) == 0;
            });
            if (m_hasSource && !known)
                throw TvError(ErrorNumber::BadReport,
                              QString("El origen de la cabecera del informe \"%1\" usa \":%2\", "
                                      "que no es una columna del origen de datos")
                                  .arg(m_report.Name(), name));
            out += Utility::instance().SqlValue(m_rows.Value(name, 0), 0, true);
        }
        return out;
    }

    const QStringList* Columns() const { return m_hasSource ? &m_rows.ColumnNames() : nullptr; }
    const QStringList* HeaderColumns() const {
        return m_hasHeader ? &m_header.ColumnNames() : nullptr;
    }
    // What every evaluation shares: the rows, the header data, the totals' cache, the locale.
    Expression::Context BaseContext() {
        Expression::Context context;
        context.rows = &m_rows;
        context.reportEnd = m_rowCount;
        context.groupEnd = m_rowCount;
        context.cache = &m_cache;
        context.locale = m_report.Locale();
        context.header = &m_header;
        return context;
    }

    [[noreturn]] void BadExpression(const QString& what, const QString& text,
                                    const Expression::Error& error) const {
        throw TvError(ErrorNumber::BadReport,
                      QString("%1 del informe \"%2\" tiene una expresión incorrecta en la "
                              "posición %3: %4\n%5")
                          .arg(what, m_report.Name())
                          .arg(error.position)
                          .arg(error.message, text));
    }

    void Compile() {
        m_fields.resize(size_t(m_report.Sections().size()));
        for (int i = 0; i < m_report.FieldCount(); ++i) {
            const ReportField& field = m_report.Field(i);
            if (field.Section() < 0 || field.Section() >= m_report.Sections().size())
                continue;
            CompiledField compiled;
            compiled.field = &field;
            if (field.Calculated()) {
                try {
                    compiled.expression =
                        Expression::Parse(field.Text(), Columns(), HeaderColumns());
                } catch (const Expression::Error& error) {
                    BadExpression("El campo \"" + field.Name() + "\"", field.Text(), error);
                }
            }
            if (field.SubReportDefinition())
                m_subEngines.emplace(&field,
                                     std::make_unique<Engine>(*field.SubReportDefinition(), 0));
            m_fields[size_t(field.Section())].push_back(std::move(compiled));
        }
    }

    void MakeGroups() {
        const int levels = int(m_report.Groups().size());
        m_groupStart.assign(size_t(levels), std::vector<int>(size_t(m_rowCount)));
        m_groupEnd.assign(size_t(levels), std::vector<int>(size_t(m_rowCount)));
        std::vector<QString> previous(static_cast<size_t>(levels));
        // A report in a language compares its group keys letter by letter, so that Óscar is
        // listed under the O.
        const bool byLetters = m_report.Locale().language() != QLocale::C;
        const QCollator collator(m_report.Locale());
        Expression::Context context = BaseContext();
        std::vector<Expression> keys;
        for (const ReportGroup& group : m_report.Groups()) {
            try {
                keys.push_back(Expression::Parse(group.expression, Columns(), HeaderColumns()));
            } catch (const Expression::Error& error) {
                BadExpression("El grupo \"" + group.name + "\"", group.expression, error);
            }
        }
        for (int row = 0; row < m_rowCount; ++row) {
            context.row = row;
            bool broken = row == 0;
            for (int level = 0; level < levels; ++level) {
                const QString key = keys[size_t(level)].Evaluate(context).ToText();
                broken = broken || (byLetters ? !SameLetters(collator, key, previous[size_t(level)])
                                              : key != previous[size_t(level)]);
                previous[size_t(level)] = key;
                m_groupStart[size_t(level)][size_t(row)] =
                    broken ? row : m_groupStart[size_t(level)][size_t(row - 1)];
            }
        }
        for (int level = 0; level < levels; ++level)
            for (int row = m_rowCount - 1; row >= 0; --row) {
                const bool last = row == m_rowCount - 1 ||
                                  m_groupStart[size_t(level)][size_t(row + 1)] == row + 1;
                m_groupEnd[size_t(level)][size_t(row)] =
                    last ? row + 1 : m_groupEnd[size_t(level)][size_t(row + 1)];
            }
    }

    // The sections in the order they print, each with its row and the rows its totals cover.
    std::vector<BandRef> Sequence() const {
        std::vector<BandRef> sequence;
        const int levels = int(m_report.Groups().size());
        const auto add = [&](int section, int row, int begin, int end, bool group) {
            if (section >= 0)
                sequence.push_back({section, row, begin, end, group});
        };
        add(m_report.SectionIndex(ReportSection::ReportHeader), m_rowCount ? 0 : -1, 0, m_rowCount,
            false);
        const int detail = m_report.SectionIndex(ReportSection::Detail);
        for (int row = 0; row < m_rowCount; ++row) {
            for (int level = 0; level < levels; ++level) {
                const int begin = m_groupStart[size_t(level)][size_t(row)];
                if (begin == row)
                    add(m_report.SectionIndex(ReportSection::GroupHeader, level), row, begin,
                        m_groupEnd[size_t(level)][size_t(row)], true);
            }
            const int inner = levels - 1;
            add(detail, row, inner >= 0 ? m_groupStart[size_t(inner)][size_t(row)] : 0,
                inner >= 0 ? m_groupEnd[size_t(inner)][size_t(row)] : m_rowCount, false);
            for (int level = levels - 1; level >= 0; --level) {
                const int end = m_groupEnd[size_t(level)][size_t(row)];
                if (end == row + 1)
                    add(m_report.SectionIndex(ReportSection::GroupFooter, level), row,
                        m_groupStart[size_t(level)][size_t(row)], end, true);
            }
        }
        add(m_report.SectionIndex(ReportSection::ReportFooter), m_rowCount - 1, 0, m_rowCount,
            false);
        return sequence;
    }

    Expression::Context ContextFor(const BandRef& ref) {
        Expression::Context context = BaseContext();
        context.row = ref.row;
        context.groupBegin = ref.groupBegin;
        context.groupEnd = ref.groupEnd;
        context.groupByDefault = ref.groupByDefault;
        return context;
    }

    QString Title() {
        if (m_report.Title().trimmed().isEmpty())
            return {};
        try {
            Expression::Context context = BaseContext();
            context.row = m_rowCount ? 0 : -1;
            return Expression::Parse(m_report.Title(), Columns(), HeaderColumns())
                .Evaluate(context)
                .ToText();
        } catch (const Expression::Error& error) {
            BadExpression("El título", m_report.Title(), error);
        }
    }

    // The sections every page carries (-1: none) and the heights the first page's header and
    // every page's footer take.
    struct PageFrame {
        int header;
        int firstHeader;
        int footer;
        int firstHeaderHeight;
        int footerHeight;
    };
    // The page sections, once the paper is known to hold them with room for the rows.
    PageFrame Frame() const;

    Band Materialize(const BandRef& ref);
    void AddFieldItems(Band& band, const CompiledField& compiled,
                       const Expression::Context& context, std::vector<Growth>& grown);

    const ReportDefinition& m_report;
    int m_xOrigin;
    bool m_hasSource = false;
    Rows m_rows;
    bool m_hasHeader = false;
    Rows m_header;
    int m_rowCount = 0;
    std::vector<std::vector<CompiledField>> m_fields; // per section
    std::vector<std::vector<int>> m_groupStart;       // per level, per row
    std::vector<std::vector<int>> m_groupEnd;
    std::map<const ReportField*, std::unique_ptr<Engine>> m_subEngines;
    std::map<const ReportField*, Band> m_subBlocks;
    Expression::AggregateCache m_cache;
};

void Engine::AddFieldItems(Band& band, const CompiledField& compiled,
                           const Expression::Context& context, std::vector<Growth>& grown) {
    const ReportField& field = *compiled.field;
    QRect rect = field.Rect().translated(m_xOrigin, 0);
    const auto sub = m_subEngines.find(&field);
    if (sub != m_subEngines.end()) {
        // A sub-report has its own data, the same for every row: lay it out once.
        auto block = m_subBlocks.find(&field);
        if (block == m_subBlocks.end())
            block = m_subBlocks.emplace(&field, sub->second->Block()).first;
        const int first = int(band.items.size());
        for (PageItem item : block->second.items) {
            item.rect.translate(rect.topLeft());
            band.items.append(item);
        }
        for (Deferred deferred : block->second.deferred) {
            deferred.item += first;
            band.deferred.push_back(deferred);
        }
        if (block->second.height > rect.height())
            grown.push_back(
                {rect.y(), rect.y() + rect.height(), block->second.height - rect.height()});
        return;
    }
    if (!field.PictureImage().isNull()) {
        PageItem picture;
        picture.kind = PageItem::Picture;
        picture.rect = rect;
        picture.picture = field.PictureImage();
        band.items.append(picture);
    }
    PageItem item;
    item.color = field.Color();
    if (field.Qr()) {
        // The field's background and border surround the code, a square of its own inside it.
        if (field.Background().isValid() || field.BorderWidth() > 0) {
            PageItem box;
            box.kind = PageItem::Rectangle;
            box.rect = rect;
            box.background = field.Background();
            box.borderWidth = field.BorderWidth();
            box.borderColor = field.BorderColor();
            band.items.append(box);
        }
        item.kind = PageItem::QrCode;
        rect = QrSquare(rect, field.Alignment());
    } else {
        item.font = field.Font();
        item.alignment = field.Alignment() | Qt::AlignTop;
        item.wrap = field.WordWrap();
        item.background = field.Background();
        item.borderWidth = field.BorderWidth();
        item.borderColor = field.BorderColor();
    }
    Show(item, FieldText(compiled, context), field);
    if (item.kind == PageItem::Text && field.CanGrow() && !item.text.isEmpty()) {
        const int needed = PainterWriter::WrappedHeight(item.text, item.font, rect.width());
        if (needed > rect.height()) {
            grown.push_back({rect.y(), rect.y() + rect.height(), needed - rect.height()});
            rect.setHeight(needed);
        }
    }
    item.rect = rect;
    // Page and Pages are placeholders until the pages exist, so an empty text now says nothing
    // about the final one: such an item stays pending and Finish decides whether it shows.
    const bool pending = field.Calculated() && compiled.expression.UsesPages();
    if (!pending && IsBlank(item))
        return;
    if (pending)
        band.deferred.push_back({int(band.items.size()), &compiled, context});
    band.items.append(item);
}

Band Engine::Materialize(const BandRef& ref) {
    const ReportSection& section = m_report.Sections()[ref.section];
    const Expression::Context context = ContextFor(ref);
    Band band;
    band.row = ref.row;
    band.height = section.height;
    const int paperWidth = m_report.Paper().width - m_report.Paper().left - m_report.Paper().right;
    if (section.background.isValid()) {
        PageItem fill;
        fill.kind = PageItem::Rectangle;
        fill.rect = QRect(m_xOrigin, 0, paperWidth, section.height);
        fill.background = section.background;
        band.items.append(fill);
    }
    for (const ReportLine& line : section.lines) {
        PageItem item;
        item.kind = PageItem::Line;
        item.rect = line.rect.translated(m_xOrigin, 0);
        item.borderWidth = line.thickness;
        item.borderColor = line.color;
        band.items.append(item);
    }
    std::vector<Growth> grown;
    const int fixedItems = int(band.items.size());
    std::vector<int> itemTops;    // the top of the field each item comes from
    std::vector<int> itemBottoms; // and its bottom
    for (const CompiledField& compiled : m_fields[size_t(ref.section)]) {
        const int before = int(band.items.size());
        AddFieldItems(band, compiled, context, grown);
        for (int i = before; i < band.items.size(); ++i) {
            itemTops.push_back(compiled.field->Top());
            itemBottoms.push_back(compiled.field->Top() + compiled.field->Rect().height());
        }
    }
    if (grown.empty())
        return band;
    // What lies below a grown field moves down by as much as it grew plus whatever pushed the
    // grown field itself; side by side, the larger push wins.
    std::sort(grown.begin(), grown.end(),
              [](const Growth& a, const Growth& b) { return a.top < b.top; });
    const auto shiftAt = [&](int top) {
        qint64 shift = 0;
        for (const Growth& g : grown)
            if (g.bottom <= top)
                shift = std::max(shift, g.shift + g.extra);
        return Extent(shift, m_report.Name());
    };
    qint64 push = 0;
    for (Growth& g : grown) {
        g.shift = shiftAt(g.top);
        push = std::max(push, g.shift + g.extra);
    }
    band.height = Extent(section.height + push, m_report.Name());
    for (int i = 0; i < band.items.size(); ++i) {
        PageItem& item = band.items[i];
        if (i >= fixedItems) {
            const int top = itemTops[size_t(i - fixedItems)];
            const int bottom = itemBottoms[size_t(i - fixedItems)];
            item.rect.translate(0, shiftAt(top));
            // A box without text (a frame around the client, a band) stretches with the fields
            // that grew inside it, so they never spill over its edge.
            if (item.kind == PageItem::Text && item.text.isEmpty() && bottom > top)
                item.rect.setHeight(item.rect.height() + shiftAt(bottom) - shiftAt(top));
            band.height = std::max(
                band.height, Extent(qint64(item.rect.y()) + item.rect.height(), m_report.Name()));
        } else if (item.kind == PageItem::Rectangle) {
            item.rect.setHeight(band.height); // the section's background
        } else {
            item.rect.translate(0, shiftAt(item.rect.y()));
        }
    }
    return band;
}

Band Engine::Block() {
    Band block;
    for (const BandRef& ref : Sequence()) {
        const Band band = Materialize(ref);
        const int first = int(block.items.size());
        for (PageItem item : band.items) {
            item.rect.translate(0, block.height);
            block.items.append(item);
        }
        for (Deferred deferred : band.deferred) {
            deferred.item += first;
            block.deferred.push_back(deferred);
        }
        block.height = Extent(qint64(block.height) + band.height, m_report.Name());
    }
    return block;
}

class Pager {
public:
    Pager(const ReportPaper& paper, const QString& report) : m_paper(paper), m_report(report) {}

    PageModel& Model() { return m_model; }
    int Y() const { return m_y; }
    bool AtTop() const { return m_y <= m_contentTop; }
    int Room() const { return m_bottom - m_y; }

    // first, when given, goes above the page header (the report header on the first page).
    void Open(const Band& header, int footerHeight, const Band* first = nullptr) {
        if (m_model.PageCount() == ReportLimits::MaxPages)
            TooManyPages(m_report);
        m_model.AddPage(QSize(m_paper.width, m_paper.height));
        m_y = m_paper.top;
        m_bottom =
            m_paper.continuous ? ContinuousBottom : m_paper.height - m_paper.bottom - footerHeight;
        if (first)
            Place(*first, 0, first->height);
        Place(header, 0, header.height);
        m_contentTop = m_y;
    }
    void Close(const Band& footer) {
        if (m_paper.continuous) {
            // A roll is cut where the document ends: the footer follows the last band and the
            // page is as long as it needs, never shorter than the paper.
            Place(footer, 0, footer.height);
            Page& page = m_model.PageAt(m_model.PageCount() - 1);
            page.paper.setHeight(std::max(m_paper.height, m_y + m_paper.bottom));
            return;
        }
        m_y = m_paper.height - m_paper.bottom - footer.height;
        Place(footer, 0, footer.height);
    }

    // Places the band's items lying between from and to (band coordinates) at the current y.
    void Place(const Band& band, int from, int to) {
        Page& page = m_model.PageAt(m_model.PageCount() - 1);
        std::vector<int> index(size_t(band.items.size()), -1);
        for (int i = 0; i < band.items.size(); ++i) {
            const int top = band.items[i].rect.y();
            if (!(top >= from && top < to) && !(to >= band.height && top >= to))
                continue;
            PageItem item = band.items[i];
            item.rect.translate(0, m_y - from);
            index[size_t(i)] = int(page.items.size());
            page.items.append(item);
        }
        for (const Deferred& deferred : band.deferred)
            if (index[size_t(deferred.item)] >= 0)
                m_deferred.push_back({m_model.PageCount() - 1, index[size_t(deferred.item)],
                                      deferred.field, deferred.context});
        m_y += to - from;
    }

    // Fills Page and Pages now that the page count is known.
    void Finish() {
        const int pages = m_model.PageCount();
        for (const PlacedDeferred& placed : m_deferred) {
            Expression::Context context = placed.context;
            context.page = placed.page + 1;
            context.pages = pages;
            Show(m_model.PageAt(placed.page).items[placed.item], FieldText(*placed.field, context),
                 *placed.field->field);
        }
        // Only pending items can be blank here (the others were never added); they go only now,
        // as the pending entries above address items by their index.
        for (int page = 0; page < pages; ++page)
            m_model.PageAt(page).items.removeIf(IsBlank);
    }

private:
    struct PlacedDeferred {
        int page;
        int item;
        const CompiledField* field;
        Expression::Context context;
    };

    // Room enough on a roll for any report within the page limits.
    static constexpr int ContinuousBottom = ReportLimits::MaxTwips * 1000;

    const ReportPaper& m_paper;
    QString m_report;
    PageModel m_model;
    int m_y = 0;
    int m_bottom = 0;
    int m_contentTop = 0;
    std::vector<PlacedDeferred> m_deferred;
};

// Where a band taller than the room left may be cut: above the first item that does not fit.
int CutPoint(const Band& band, int from, int room) {
    int cut = from + room;
    for (const PageItem& item : band.items) {
        const int top = item.rect.y(), bottom = item.rect.y() + item.rect.height();
        if (top >= from && top < cut && bottom > cut)
            cut = top;
    }
    return cut;
}

// Where a band does not fit the room left, it is cut where it may be and goes on over the next
// pages, each opened with newPage.
template <class NewPage>
void PlaceAcrossPages(Pager& pager, const Band& band, const QString& report, NewPage newPage) {
    int from = 0;
    while (band.height - from > pager.Room()) {
        // A page header grown by its data past the paper would open pages without end.
        if (pager.AtTop() && pager.Room() <= 0)
            throw TvError(ErrorNumber::BadReport,
                          "Los datos del encabezado de página del informe \"" + report +
                              "\" no dejan sitio en el papel");
        int cut = CutPoint(band, from, pager.Room());
        if (cut <= from && pager.AtTop())
            cut = from + pager.Room(); // an item taller than a page: cut it where it must
        if (cut > from) {
            pager.Place(band, from, cut);
            from = cut;
        }
        newPage(band.row);
    }
    pager.Place(band, from, band.height);
}

Engine::PageFrame Engine::Frame() const {
    const ReportPaper& paper = m_report.Paper();
    if (paper.width <= 0 || paper.height <= 0)
        throw TvError(ErrorNumber::BadReport,
                      "El papel del informe \"" + m_report.Name() + "\" no tiene tamaño");
    PageFrame frame;
    frame.header = m_report.SectionIndex(ReportSection::PageHeader);
    frame.firstHeader = m_report.SectionIndex(ReportSection::FirstPageHeader) >= 0
                            ? m_report.SectionIndex(ReportSection::FirstPageHeader)
                            : frame.header;
    frame.footer = m_report.SectionIndex(ReportSection::PageFooter);
    const auto heightOf = [&](int section) {
        return section >= 0 ? m_report.Sections()[section].height : 0;
    };
    frame.footerHeight = heightOf(frame.footer);
    frame.firstHeaderHeight = heightOf(frame.firstHeader);
    for (const int header : {frame.header, frame.firstHeader})
        if (paper.top + heightOf(header) + frame.footerHeight + paper.bottom >= paper.height)
            throw TvError(ErrorNumber::BadReport,
                          "El encabezado y el pie de página del informe \"" + m_report.Name() +
                              "\" no dejan sitio en el papel");
    return frame;
}

PageModel Engine::Pages() {
    const PageFrame frame = Frame();
    const ReportPaper& paper = m_report.Paper();
    // Bands are made as the pages need them and dropped once placed, so a report refused for
    // its page count stops there, before the rows past it have cost anything.
    const std::vector<BandRef> sequence = Sequence();
    // A group header stays with its first row, and a group footer or the report footer (an
    // invoice's totals) never opens a page alone: the row or footer before it goes along.
    const auto kind = [&](size_t i) { return m_report.Sections()[sequence[i].section].kind; };
    std::map<size_t, Band> made;
    const auto bandAt = [&](size_t i) -> const Band& {
        auto found = made.find(i);
        if (found == made.end()) {
            found = made.emplace(i, Materialize(sequence[i])).first;
            found->second.keepWithNext =
                i + 1 < sequence.size() && (kind(i) == ReportSection::GroupHeader ||
                                            kind(i + 1) == ReportSection::GroupFooter ||
                                            kind(i + 1) == ReportSection::ReportFooter);
        }
        return found->second;
    };

    // The page footer has its height reserved above the bottom margin, never more; the page
    // header takes what its grown fields need (a long client name), so they never reach the rows.
    const auto pageBand = [&](int section, int row) {
        if (section < 0)
            return Band{};
        const BandRef ref{section, row, 0, m_rowCount, false};
        Band band = Materialize(ref);
        if (section == frame.footer)
            band.height = m_report.Sections()[section].height;
        return band;
    };
    Pager pager(paper, m_report.Name());
    int lastRow = sequence.empty() ? -1 : sequence.front().row;
    // The report header opens the first page, above the page header, when it fits there.
    size_t start = 0;
    if (!sequence.empty() &&
        sequence.front().section == m_report.SectionIndex(ReportSection::ReportHeader) &&
        (paper.continuous || paper.top + qint64(bandAt(0).height) + frame.firstHeaderHeight +
                                     frame.footerHeight + paper.bottom <=
                                 paper.height))
        start = 1;
    pager.Open(pageBand(frame.firstHeader, lastRow), frame.footerHeight,
               start ? &bandAt(0) : nullptr);
    const auto newPage = [&](int nextRow) {
        pager.Close(pageBand(frame.footer, lastRow));
        pager.Open(pageBand(frame.header, nextRow), frame.footerHeight);
    };
    for (size_t i = start; i < sequence.size(); ++i) {
        const Band& band = bandAt(i);
        qint64 need = band.height;
        // A band kept with the next goes to the next page unless both fit here.
        for (size_t j = i; bandAt(j).keepWithNext && j + 1 < sequence.size(); ++j)
            need += bandAt(j + 1).height;
        if (need > pager.Room() && !pager.AtTop())
            newPage(band.row);
        PlaceAcrossPages(pager, band, m_report.Name(), newPage);
        lastRow = band.row >= 0 ? band.row : lastRow;
        made.erase(made.begin(), made.upper_bound(i));
    }
    pager.Close(pageBand(frame.footer, lastRow));
    pager.Finish();
    pager.Model().SetTitle(Title());
    return std::move(pager.Model());
}

} // namespace

PageModel ReportLayout::Run(const ReportDefinition& report) {
    return Engine(report, report.Paper().left).Pages();
}
