// The laid-out document's pages and items, their search and their file form.

#include "platform/report/PageModel.h"

#include "platform/util/TvError.h"

#include <QDataStream>
#include <QIODevice>

namespace {

const char Magic[] = "TVDOC";
constexpr qint32 Version = 2;

QDataStream& operator<<(QDataStream& out, const PageItem& item) {
    out << qint32(item.kind) << item.rect << item.text << item.font.family << item.font.size
        << item.font.bold << item.font.italic << item.font.underline << qint32(item.alignment)
        << item.wrap << item.color << item.background << qint32(item.borderWidth)
        << item.borderColor << !item.picture.isNull();
    if (!item.picture.isNull())
        out << item.picture;
    return out;
}

QDataStream& operator>>(QDataStream& in, PageItem& item) {
    qint32 kind = 0, alignment = 0, borderWidth = 0;
    bool hasPicture = false;
    in >> kind >> item.rect >> item.text >> item.font.family >> item.font.size >> item.font.bold >>
        item.font.italic >> item.font.underline >> alignment >> item.wrap >> item.color >>
        item.background >> borderWidth >> item.borderColor >> hasPicture;
    if (hasPicture)
        in >> item.picture;
    if (kind < PageItem::Text || kind > PageItem::QrCode)
        in.setStatus(QDataStream::ReadCorruptData);
    item.kind = PageItem::Kind(kind);
    item.alignment = alignment;
    item.borderWidth = borderWidth;
    return in;
}

} // namespace

Page& PageModel::AddPage(QSize paper) {
    m_pages.append(Page{paper, {}});
    return m_pages.last();
}

QVector<PageModel::Hit> PageModel::FindText(const QString& text, bool exact) const {
    QVector<Hit> hits;
    for (int p = 0; p < m_pages.size(); ++p)
        for (int i = 0; i < m_pages[p].items.size(); ++i) {
            const PageItem& item = m_pages[p].items[i];
            if (item.kind == PageItem::Text &&
                (exact ? item.text == text : item.text.contains(text)))
                hits.append({p, i});
        }
    return hits;
}

const PageItem* PageModel::FindItem(const QString& text) const {
    const QVector<Hit> hits = FindText(text, true);
    return hits.isEmpty() ? nullptr : &ItemAt(hits.first());
}

void PageModel::Save(QIODevice& device) const {
    QDataStream out(&device);
    out.setVersion(QDataStream::Qt_6_4);
    out.writeRawData(Magic, sizeof Magic);
    out << Version << m_title << qint32(m_pages.size());
    for (const Page& page : m_pages) {
        out << page.paper << qint32(page.items.size());
        for (const PageItem& item : page.items)
            out << item;
    }
}

PageModel PageModel::Load(QIODevice& device) {
    QDataStream in(&device);
    in.setVersion(QDataStream::Qt_6_4);
    char magic[sizeof Magic] = {};
    qint32 version = 0, pages = 0;
    PageModel model;
    const bool ours = in.readRawData(magic, sizeof magic) == int(sizeof magic) &&
                      QByteArray(magic, sizeof magic) == QByteArray(Magic, sizeof Magic);
    if (ours)
        in >> version;
    if (ours && version == Version)
        in >> model.m_title >> pages;
    if (!ours || version != Version || pages < 0)
        throw TvError(ErrorNumber::PathFileAccess, "El archivo no es un documento de informe");
    for (qint32 p = 0; p < pages && in.status() == QDataStream::Ok; ++p) {
        QSize paper;
        qint32 count = 0;
        in >> paper >> count;
        Page& page = model.AddPage(paper);
        for (qint32 i = 0; i < count && in.status() == QDataStream::Ok; ++i) {
            PageItem item;
            in >> item;
            page.items.append(item);
        }
    }
    if (in.status() != QDataStream::Ok)
        throw TvError(ErrorNumber::PathFileAccess, "El documento de informe está dañado");
    return model;
}
