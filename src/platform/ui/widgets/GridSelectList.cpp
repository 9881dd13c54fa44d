// The grid's select list taken apart: what each alias stands for, to write a row back.

#include "platform/ui/widgets/GridSelectList.h"

#include "platform/data/SqlDialect.h"

#include <QRegularExpression>
#include <algorithm>

namespace {

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

} // namespace

GridSelectList GridSelectList::Parse(const QString& text) {
    GridSelectList list;
    const QString sql = text.trimmed();
    const int selectAt = FindTopLevelWord(sql, "SELECT");
    const int fromAt = FindTopLevelWord(sql, "FROM", std::max(0, selectAt));
    if (selectAt < 0 || fromAt < 0)
        return list;
    QString items = sql.mid(selectAt + 6, fromAt - selectAt - 6).trimmed();
    if (items.startsWith("DISTINCT ", Qt::CaseInsensitive))
        items = items.mid(9);
    static const QRegularExpression plainName(R"(^[A-Za-z_]\w*(\.[A-Za-z_]\w*)?$)");
    for (const QString& item : SqlDialect::SplitTopLevel(items)) {
        Column column;
        QString expression = item;
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
        list.m_columns << column;
    }
    return list;
}

bool GridSelectList::OfTable(int index, const QString& table) const {
    const Column& source = m_columns[index];
    return !source.column.isEmpty() &&
           (source.table.isEmpty() || source.table.compare(table, Qt::CaseInsensitive) == 0);
}
