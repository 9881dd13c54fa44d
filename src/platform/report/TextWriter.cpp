// A laid-out document as plain text on a character grid, pages apart by form feeds.

#include "platform/report/TextWriter.h"

#include "platform/report/PageModel.h"

#include <QIODevice>
#include <algorithm>
#include <map>

namespace {

// The text cut into lines of at most width characters at blanks; a word longer than a line is
// cut where the line ends.
QStringList WrapWords(const QString& text, int width) {
    QStringList lines;
    for (const QString& paragraph : text.split('\n')) {
        QString line;
        for (QString word : paragraph.split(' ', Qt::SkipEmptyParts)) {
            if (!line.isEmpty() && line.size() + 1 + word.size() > width) {
                lines.append(line);
                line.clear();
            }
            while (line.isEmpty() && word.size() > width) {
                lines.append(word.left(width));
                word.remove(0, width);
            }
            line += (line.isEmpty() ? "" : " ") + word;
        }
        lines.append(line);
    }
    return lines;
}

// One line of text and the columns each text on it took, [start, end).
struct Row {
    QString line;
    QVector<std::pair<int, int>> spans;
};

// Texts on a row keep at least one blank between them, so two columns never read as one: a text
// that reaches into the next one is cut before it; one that would vanish under it moves after it.
void PutText(Row& row, int column, const QString& text) {
    const int length = int(text.size());
    std::sort(row.spans.begin(), row.spans.end());
    for (auto& [start, end] : row.spans) {
        if (end < column || start > column + length)
            continue;
        if (start < column - 1) {
            row.line.replace(column - 1, end - column + 1, QString(end - column + 1, ' '));
            end = column - 1;
        } else {
            column = end + 1;
        }
    }
    if (row.line.size() < column + length)
        row.line = row.line.leftJustified(column + length, ' ');
    row.line.replace(column, length, text);
    row.spans.append({column, column + length});
}

} // namespace

QStringList TextWriter::PageLines(const Page& page) {
    QVector<const PageItem*> items;
    QStringList codes; // what the page's QR codes hold
    for (const PageItem& item : page.items) {
        if (item.text.trimmed().isEmpty())
            continue;
        if (item.kind == PageItem::Text)
            items.append(&item);
        else if (item.kind == PageItem::QrCode)
            codes.append(Printable(item.text).trimmed());
    }
    std::stable_sort(items.begin(), items.end(), [](const PageItem* a, const PageItem* b) {
        return a->rect.y() != b->rect.y() ? a->rect.y() < b->rect.y() : a->rect.x() < b->rect.x();
    });
    // Items starting within half a line of each other share a line; the next line is as many
    // lines further as the distance on paper says, and never on the lines a wrapped text took.
    std::map<int, Row> rows;
    int lineY = 0, row = -1, freeRow = 0;
    for (const PageItem* item : items) {
        if (row < 0 || item->rect.y() - lineY >= LineHeight / 2) {
            const int step =
                row < 0 ? 0 : std::max(1, (item->rect.y() - lineY + LineHeight / 2) / LineHeight);
            row = std::max(row + step, freeRow);
            lineY = item->rect.y();
        }
        // A wrapped text takes the lines it needs; the grid is coarser than the printed font, so
        // that may be more than on paper, and whatever lies below moves down.
        const int width = std::max(1, item->rect.width() / ColumnWidth);
        const QString printable = Printable(item->text);
        const QStringList lines = item->wrap ? WrapWords(printable, width) : printable.split('\n');
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
    for (const auto& [row, content] : rows) {
        const QString& line = content.line;
        int lead = 0;
        while (lead < line.size() && line[lead] == ' ')
            ++lead;
        indent = indent < 0 ? lead : std::min(indent, lead);
    }
    QStringList result;
    int previous = -1;
    for (const auto& [row, content] : rows) {
        if (previous >= 0 && row > previous + 1)
            result.append(QString());
        QString text = content.line.mid(std::max(indent, 0));
        while (text.endsWith(' '))
            text.chop(1);
        result.append(text);
        previous = row;
    }
    // A QR code prints what it holds (a web address, to copy or follow) after the rest of its
    // page, cut into lines no wider than the page's other lines, so it never widens the page.
    int width = MinCodeWidth;
    for (const QString& line : result)
        width = std::max(width, int(line.size()));
    for (const QString& code : codes) {
        result.append(QString());
        result.append(WrapWords(code, width));
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
