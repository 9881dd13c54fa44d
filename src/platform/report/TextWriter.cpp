#include "platform/report/TextWriter.h"

#include "platform/report/PageModel.h"

#include <QIODevice>
#include <algorithm>
#include <map>

namespace {

// The text cut into lines of at most width characters at blanks (a longer word stays whole).
QStringList WrapWords(const QString& text, int width) {
    QStringList lines;
    for (const QString& paragraph : text.split('\n')) {
        QString line;
        for (const QString& word : paragraph.split(' ', Qt::SkipEmptyParts)) {
            if (!line.isEmpty() && line.size() + 1 + word.size() > width) {
                lines.append(line);
                line.clear();
            }
            line += (line.isEmpty() ? "" : " ") + word;
        }
        lines.append(line);
    }
    return lines;
}

void PutText(QString& line, int column, const QString& text) {
    // Never write over what is already there: a text that would overlap starts after it.
    int end = int(line.size());
    while (end > 0 && line[end - 1] == ' ')
        --end;
    bool clash = false;
    for (int i = column; i < std::min(end, column + int(text.size())); ++i)
        clash = clash || line[i] != ' ';
    if (clash || (column < end && column + int(text.size()) > end))
        column = end + 1;
    if (line.size() < column + text.size())
        line = line.leftJustified(column + int(text.size()), ' ');
    line.replace(column, text.size(), text);
}

} // namespace

QStringList TextWriter::PageLines(const Page& page) {
    QVector<const PageItem*> items;
    for (const PageItem& item : page.items)
        if (item.kind == PageItem::Text && !item.text.trimmed().isEmpty())
            items.append(&item);
    std::stable_sort(items.begin(), items.end(), [](const PageItem* a, const PageItem* b) {
        return a->rect.y() != b->rect.y() ? a->rect.y() < b->rect.y() : a->rect.x() < b->rect.x();
    });
    // Items starting within half a line of each other share a line; the next line is as many
    // lines further as the distance on paper says, and never on the lines a wrapped text took.
    std::map<int, QString> rows;
    int lineY = 0, row = -1, freeRow = 0;
    for (const PageItem* item : items) {
        if (row < 0 || item->rect.y() - lineY >= LineHeight / 2) {
            const int step =
                row < 0 ? 0 : std::max(1, (item->rect.y() - lineY + LineHeight / 2) / LineHeight);
            row = std::max(row + step, freeRow);
            lineY = item->rect.y();
        }
        const int width = std::max(1, item->rect.width() / ColumnWidth);
        QStringList lines = item->wrap ? WrapWords(item->text, width) : item->text.split('\n');
        // No more lines than the item is tall: a narrower grid must not spill into the next row.
        const int fits = std::max(1, (item->rect.height() + LineHeight / 2) / LineHeight);
        while (lines.size() > fits) {
            const QString last = lines.takeLast();
            lines.last() += ' ' + last;
        }
        int line = row;
        for (const QString& text : lines) {
            const QString trimmed = text.trimmed();
            int column = item->rect.x() / ColumnWidth;
            if (item->alignment & Qt::AlignRight)
                column = (item->rect.x() + item->rect.width()) / ColumnWidth - int(trimmed.size());
            else if (item->alignment & Qt::AlignHCenter)
                column = (item->rect.x() + item->rect.width() / 2) / ColumnWidth -
                         int(trimmed.size()) / 2;
            PutText(rows[line++], std::max(0, column), trimmed);
        }
        freeRow = std::max(freeRow, line);
    }
    // The left margin and runs of empty lines carry no meaning in plain text.
    int indent = -1;
    for (const auto& [row, line] : rows) {
        int lead = 0;
        while (lead < line.size() && line[lead] == ' ')
            ++lead;
        indent = indent < 0 ? lead : std::min(indent, lead);
    }
    QStringList result;
    int previous = -1;
    for (const auto& [row, line] : rows) {
        if (previous >= 0 && row > previous + 1)
            result.append(QString());
        QString text = line.mid(std::max(indent, 0));
        while (text.endsWith(' '))
            text.chop(1);
        result.append(text);
        previous = row;
    }
    return result;
}

QString TextWriter::ToText(const PageModel& model) {
    QString text;
    for (int i = 0; i < model.PageCount(); ++i) {
        if (i > 0)
            text += '\f';
        for (const QString& line : PageLines(model.PageAt(i)))
            text += line + '\n';
    }
    return text;
}

bool TextWriter::Write(const PageModel& model, const QString& path) {
    return Commit(path, [&](QIODevice& device) {
        const QByteArray data = ToText(model).toUtf8();
        return device.write(data) == data.size();
    });
}
