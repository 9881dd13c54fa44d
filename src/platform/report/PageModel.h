#pragma once

#include <QColor>
#include <QImage>
#include <QRect>
#include <QSize>
#include <QString>
#include <QVector>

class QIODevice;

// A font as the report names it; the size is in points.
struct ReportFont {
    QString family = "Arial";
    double size = 10;
    bool bold = false;
    bool italic = false;
    bool underline = false;

    bool operator==(const ReportFont&) const = default;
};

// One thing drawn on a page. Every coordinate is in twips (1/1440 inch) from the paper's
// top-left corner. A line runs from rect.topLeft() to (x + width, y + height), so a horizontal
// line has height 0. A QR code fills its rect, a square, with the symbol of its text, which
// picture holds (QrCode::Symbol); outputs without pictures print the text instead.
struct PageItem {
    enum Kind { Text, Line, Rectangle, Picture, QrCode };

    Kind kind = Text;
    QRect rect;
    QString text;
    ReportFont font;
    int alignment = Qt::AlignLeft | Qt::AlignTop;
    bool wrap = false;
    QColor color = Qt::black;
    QColor background;   // invalid: transparent
    int borderWidth = 0; // twips; 0: no border (a line's thickness, 0 meaning a hairline)
    QColor borderColor = Qt::black;
    QImage picture; // drawn stretched into rect

    bool operator==(const PageItem&) const = default;
};

struct Page {
    QSize paper; // twips
    QVector<PageItem> items;

    bool operator==(const Page&) const = default;
};

// The laid-out document: what every writer and the preview read. Built once by the layout, so
// the writers never disagree on where something is.
class PageModel {
public:
    struct Hit {
        int page; // from 0
        int item;
    };

    // What the document is, for the outputs' metadata (a PDF's title, an HTML page's <title>).
    QString Title() const { return m_title; }
    void SetTitle(const QString& title) { m_title = title; }

    int PageCount() const { return int(m_pages.size()); }
    bool IsEmpty() const { return m_pages.isEmpty(); }
    const Page& PageAt(int index) const { return m_pages.at(index); }
    Page& PageAt(int index) { return m_pages[index]; }
    const QVector<PageItem>& Items(int index) const { return m_pages.at(index).items; }
    Page& AddPage(QSize paper);

    // Text items whose text contains text (exact: equals it), in page and item order.
    QVector<Hit> FindText(const QString& text, bool exact = false) const;
    // The first text item whose text equals text; nullptr when none.
    const PageItem* FindItem(const QString& text) const;
    const PageItem& ItemAt(const Hit& hit) const { return m_pages.at(hit.page).items.at(hit.item); }

    // A binary file of our own that Load reads back unchanged. Load raises TvError 75 when the
    // data is not such a document.
    void Save(QIODevice& device) const;
    static PageModel Load(QIODevice& device);

    bool operator==(const PageModel&) const = default;

private:
    QString m_title;
    QVector<Page> m_pages;
};
