#pragma once

#include "support/RunProgram.h"

#include <QImage>
#include <QRect>
#include <QStringList>

// A page as a phone or a scanner sees it: the first page of a PDF rendered by pdftoppm, and
// what zbarimg reads in the QR codes on it.
struct ScannedPage {
    static constexpr int Dpi = 300;

    QImage image;
    QStringList codes;

    // Pixels of the image for a rectangle in twips from the paper's corner.
    static QRect Pixels(const QRect& twips) {
        const auto px = [](int t) { return int(t * double(Dpi) / 1440 + 0.5); };
        return QRect(QPoint(px(twips.left()), px(twips.top())),
                     QPoint(px(twips.x() + twips.width()) - 1, px(twips.y() + twips.height()) - 1));
    }
    static double Millimetres(int pixels) { return pixels * 25.4 / Dpi; }

    // The smallest rectangle that holds every dark pixel inside area; empty when none is.
    QRect DarkBox(const QRect& area) const {
        QRect box;
        const QRect inside = area.intersected(image.rect());
        for (int y = inside.top(); y <= inside.bottom(); ++y)
            for (int x = inside.left(); x <= inside.right(); ++x)
                if (image.pixelColor(x, y).lightness() < 128)
                    box |= QRect(x, y, 1, 1);
        return box;
    }
};

// What zbarimg reads in the QR codes of a picture, one text a code. Only its standard output:
// on a machine without a session bus it complains on standard error.
inline QStringList ReadCodes(const QString& png) {
    QProcess zbarimg;
    zbarimg.start("zbarimg", {"-q", "--raw", png});
    zbarimg.waitForFinished(30000);
    return QString::fromUtf8(zbarimg.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
}

inline ScannedPage ScanFirstPage(const QString& pdf) {
    const QString base = pdf + "-page1";
    RunProgram("pdftoppm", {"-r", QString::number(ScannedPage::Dpi), "-f", "1", "-l", "1", "-png",
                            "-singlefile", pdf, base});
    ScannedPage page;
    page.image.load(base + ".png");
    page.codes = ReadCodes(base + ".png");
    return page;
}
