#pragma once

#include <QFont>
#include <QString>

class QPainter;
struct Page;
struct ReportFont;

// Draws one page onto any painter (preview, printer, PDF). The painter's coordinates must be
// twips: the caller scales it to its device first. Fonts are sized in twips as pixels, so text
// measures the same on every device.
class PainterWriter {
public:
    static void Paint(const Page& page, QPainter& painter);

    static QFont QtFont(const ReportFont& font);
    // The height in twips that text needs at that width, wrapped at words.
    static int WrappedHeight(const QString& text, const ReportFont& font, int width);
};
