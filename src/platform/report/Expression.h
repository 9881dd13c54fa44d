#pragma once

#include <QLocale>
#include <QString>
#include <QStringList>
#include <map>
#include <memory>
#include <tuple>

class Rows;

// A field's expression, parsed once and evaluated per row. The language: column names of the
// record source (case-insensitive), "texts" with doubled quotes, numbers, & joining texts,
// + - * /, = <> < > <= >=, And Or Not, parentheses, functions (iif, mid, left, right, len, trim,
// ltrim, rtrim, ucase, lcase, format, val, urlencode), aggregates (Sum, Count, Min, Max, Avg with
// an optional scope "group" or "report"), Page and Pages.
class Expression {
public:
    struct Value {
        enum Kind { Null, Number, Text };
        Kind kind = Null;
        double number = 0;
        QString text;

        static Value FromNumber(double number) { return {Number, number, {}}; }
        static Value FromText(const QString& text) { return {Text, 0, text}; }
        static Value FromVariant(const QVariant& value);
        // A number that is not finite (an overflow, infinity minus infinity) goes on through
        // arithmetic as IEEE says and is otherwise NULL: it shows as nothing, is false, and
        // never reaches a conversion to a whole number.
        bool IsNull() const;
        // NULL reads as "" and 0; a number as its shortest text ("20260305", "6.3").
        QString ToText() const;
        double ToNumber() const;
        // Non-zero numbers and texts that read as such are true, as is "true"; NULL is false.
        bool ToBool() const;
        bool IsNumeric() const;
    };

    using AggregateCache = std::map<std::tuple<const void*, int, int>, Value>;

    // Where an evaluation stands: the rows, the current row (-1: none, columns read NULL), the
    // rows of the current group and of the report, and the page numbers.
    struct Context {
        const Rows* rows = nullptr;
        int row = -1;
        int groupBegin = 0;
        int groupEnd = 0;
        int reportEnd = 0;
        // Aggregates without a scope cover the group (group sections) or the report (others).
        bool groupByDefault = false;
        int page = 1;
        int pages = 1;
        AggregateCache* cache = nullptr;
        // The report's locale: the separators format() writes.
        QLocale locale = QLocale::c();
        // The header data: its first row is read on every row.
        const Rows* header = nullptr;
    };

    // A text that is not a valid expression: position is the 1-based character where it fails.
    struct Error {
        int position;
        QString message;
    };

    Expression();
    ~Expression();
    Expression(Expression&&) noexcept;
    Expression& operator=(Expression&&) noexcept;

    // columns: the record source's column names; nullptr when there is no record source, and
    // then every name that is not a header column reads NULL. headerColumns: the columns of the
    // header data, for names that are not columns of the record source. Raises Error.
    static Expression Parse(const QString& text, const QStringList* columns,
                            const QStringList* headerColumns = nullptr);

    Value Evaluate(const Context& context) const;
    // True when the value depends on Page or Pages, known only once the pages are laid out.
    bool UsesPages() const { return m_usesPages; }

    // "0.00", "#,##0.00", "0%", with any literal text before or after; rounds half away from
    // zero. The pattern is always written with "," grouping thousands and "." as the decimal
    // point; the text uses the locale's separators ("1.234,56" in Spanish), and groups every
    // thousand whatever the locale's own rule for four-digit numbers.
    static QString FormatNumber(double value, const QString& pattern,
                                const QLocale& locale = QLocale::c());

    struct Node;

private:
    std::unique_ptr<Node> m_root;
    bool m_usesPages = false;
};
