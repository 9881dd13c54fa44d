// The preview control: paging, zoom, saving and loading its document, paper settings.

#include "ReportFixture.h"

#include "platform/report/PreviewControl.h"

#include <QSignalSpy>
#include <QTest>

namespace {

PageModel ThreePages() {
    PageModel model;
    for (int i = 1; i <= 3; ++i) {
        Page& page = model.AddPage(QSize(11906, i == 3 ? 5669 : 16838));
        PageItem text =
            MakeItem(PageItem::Text, QRect(1000, 1000, 4000, 300), QString("Página %1").arg(i));
        text.font.bold = i == 2;
        text.background = QColor("#FFEECC");
        page.items.append(text);
        page.items.append(MakeItem(PageItem::Line, QRect(1000, 1400, 4000, 0)));
        PageItem picture = MakeItem(PageItem::Picture, QRect(0, 0, 600, 600));
        picture.picture = QImage(8, 8, QImage::Format_RGB32);
        picture.picture.fill(Qt::red);
        page.items.append(picture);
    }
    return model;
}

} // namespace

TEST_F(ReportTest, PreviewClampsPagesIgnoresBadZoomAndNotifies) {
    PreviewControl vp;
    vp.resize(800, 600);
    vp.show();
    QSignalSpy pages(&vp, &PreviewControl::PageChanged);
    QSignalSpy zooms(&vp, &PreviewControl::ZoomChanged);
    EXPECT_EQ(vp.Page(), 0);
    vp.SetPage(2); // no document: nothing to show
    EXPECT_EQ(vp.Page(), 0);

    vp.SetDocument(ThreePages());
    EXPECT_EQ(vp.PageCount(), 3);
    EXPECT_EQ(vp.Page(), 1);
    for (const auto& [asked, shown] : {std::pair{99, 3}, {-4, 1}, {2, 2}}) {
        vp.SetPage(asked);
        EXPECT_EQ(vp.Page(), shown) << asked;
    }
    ASSERT_EQ(pages.size(), 4);
    EXPECT_EQ(pages.last().first().toInt(), 2);

    vp.SetZoom(0);
    vp.SetZoom(-10);
    EXPECT_EQ(vp.Zoom(), 100);
    vp.SetZoom(250.5);
    EXPECT_EQ(vp.Zoom(), 250.5);
    EXPECT_EQ(vp.Page(), 2); // zooming keeps the page in view
    ASSERT_EQ(zooms.size(), 1);
    EXPECT_EQ(zooms.first().first().toDouble(), 250.5);

    // Double-click: to 100 %, then to the page width, then back.
    QTest::mouseDClick(vp.viewport(), Qt::LeftButton);
    EXPECT_EQ(vp.Zoom(), 100);
    QTest::mouseDClick(vp.viewport(), Qt::LeftButton);
    EXPECT_NE(vp.Zoom(), 100);
    EXPECT_NEAR(11906 / 1440.0 * vp.logicalDpiX() * vp.Zoom() / 100, 800 - 36, 2);
    QTest::mouseDClick(vp.viewport(), Qt::LeftButton);
    EXPECT_EQ(vp.Zoom(), 100);
    // Painting every page at several zooms must not fail.
    for (double zoom : {10.0, 75.0, 400.0}) {
        vp.SetZoom(zoom);
        vp.SetPage(3);
        vp.grab();
    }
}

TEST_F(ReportTest, PreviewSavesAndLoadsItsDocumentAndExportsRtf) {
    PreviewControl vp;
    const PageModel model = ThreePages();
    vp.SetExportFile(Path("export.rtf"));
    vp.SetDocument(model);
    EXPECT_TRUE(QFile::exists(Path("export.rtf")));
    vp.SetExportFile({});

    vp.SaveDoc(Path("FaxView7"));
    EXPECT_TRUE(QFile::exists(Path("FaxView7")));
    PreviewControl other;
    other.LoadDoc(Path("FaxView7"));
    EXPECT_TRUE(other.Document() == model);
    EXPECT_EQ(other.Page(), 1);

    EXPECT_EQ(ErrorOf([&] { other.LoadDoc(Path("none")); }), ErrorNumber::FileNotFound);
    EXPECT_EQ(ErrorOf([&] { other.LoadDoc(Path("export.rtf")); }), ErrorNumber::PathFileAccess);
    EXPECT_EQ(ErrorOf([&] { vp.SaveDoc(Path("no/folder/doc")); }), ErrorNumber::PathFileAccess);
    EXPECT_TRUE(other.Document() == model);
}

TEST_F(ReportTest, PreviewPaperSettings) {
    PreviewControl vp;
    vp.SetPaperSize(PreviewControl::UserPaper);
    vp.SetPaperWidth(4252);
    vp.SetPaperHeight(5669);
    EXPECT_EQ(vp.PaperSize(), 256);
    EXPECT_TRUE(vp.PaperSizeSupported(256));
    vp.SetPaperSize(9); // A4
    EXPECT_EQ(ErrorOf([&] { vp.SetPaperSize(31000); }), ErrorNumber::InvalidPropertyValue);
    EXPECT_EQ(vp.PaperSize(), 9);
    EXPECT_FALSE(vp.PaperSizeSupported(31000));
}
