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
    const auto rowOf = [](const PageItem* item) {
        return (item->rect.y() + LineHeight / 2) / LineHeight;
    };
    std::stable_sort(items.begin(), items.end(), [&](const PageItem* a, const PageItem* b) {
        return rowOf(a) != rowOf(b) ? rowOf(a) < rowOf(b) : a->rect.x() < b->rect.x();
    });
    std::map<int, QString> rows;
    for (const PageItem* item : items) {
        const int width = std::max(1, item->rect.width() / ColumnWidth);
        const QStringList lines =
            item->wrap ? WrapWords(item->text, width) : item->text.split('\n');
        int row = rowOf(item);
        for (const QString& text : lines) {
            const QString trimmed = text.trimmed();
            int column = item->rect.x() / ColumnWidth;
            if (item->alignment & Qt::AlignRight)
                column = (item->rect.x() + item->rect.width()) / ColumnWidth - int(trimmed.size());
            else if (item->alignment & Qt::AlignHCenter)
                column = (item->rect.x() + item->rect.width() / 2) / ColumnWidth -
                         int(trimmed.size()) / 2;
            PutText(rows[row++], std::max(0, column), trimmed);
        }
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
