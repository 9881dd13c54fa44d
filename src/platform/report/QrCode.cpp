// QR codes for report fields: the symbol of a text and its dark modules as rectangles.

#include "platform/report/QrCode.h"

#include <memory>
#include <qrencode.h>

namespace QrCode {

QImage Symbol(const QString& text) {
    const QByteArray data = text.toUtf8();
    if (data.isEmpty())
        return {};
    // Version 0 lets the library pick the smallest symbol that holds the data.
    const std::unique_ptr<QRcode, decltype(&QRcode_free)> code(
        QRcode_encodeData(int(data.size()), reinterpret_cast<const unsigned char*>(data.data()), 0,
                          QR_ECLEVEL_M),
        &QRcode_free);
    if (!code)
        return {};
    QImage symbol(code->width, code->width, QImage::Format_Mono);
    symbol.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
    for (int y = 0; y < code->width; ++y)
        for (int x = 0; x < code->width; ++x)
            symbol.setPixel(x, y, code->data[y * code->width + x] & 1);
    return symbol;
}

QVector<QRect> DarkRuns(const QImage& symbol) {
    QVector<QRect> runs;
    for (int y = 0; y < symbol.height(); ++y)
        for (int x = 0; x < symbol.width();) {
            if (symbol.pixelIndex(x, y) == 0) {
                ++x;
                continue;
            }
            const int start = x;
            while (x < symbol.width() && symbol.pixelIndex(x, y) == 1)
                ++x;
            runs.append(QRect(start, y, x - start, 1));
        }
    return runs;
}

} // namespace QrCode
