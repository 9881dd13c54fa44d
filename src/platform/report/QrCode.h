#pragma once

#include <QImage>
#include <QRect>
#include <QString>
#include <QVector>

// QR codes for report fields, made by libqrencode: the symbol of a text, and its dark modules
// as rectangles for the writers that draw in vectors.
namespace QrCode {

// The symbol of text's UTF-8 bytes at error-correction level M, in the smallest version that
// holds them: one pixel per module, colour index 1 dark and 0 light, without the quiet zone
// (the white around a code is the layout's to keep). A null image for an empty text or one too
// long for any QR code.
QImage Symbol(const QString& text);

// The dark modules of a symbol in module units, each row's neighbours merged into one
// rectangle: few shapes to draw, and no seams between modules.
QVector<QRect> DarkRuns(const QImage& symbol);

} // namespace QrCode
