#pragma once

#include "platform/report/PageModel.h"

#include <QImage>
#include <QRect>
#include <QString>
#include <memory>

class ReportDefinition;

// One field of a report: a caption or an expression (Calculated) placed in a section, optionally
// showing a picture or holding a sub-report. Positions and sizes are twips relative to the
// section's top-left corner inside the page margins.
class ReportField {
public:
    ReportField();
    ~ReportField();
    ReportField(const ReportField&) = delete;
    ReportField& operator=(const ReportField&) = delete;
    std::unique_ptr<ReportField> Clone() const;

    QString Name() const { return m_name; }
    void SetName(const QString& name) { m_name = name; }
    int Section() const { return m_section; }
    void SetSection(int section) { m_section = section; }

    QString Text() const { return m_text; }
    void SetText(const QString& text) { m_text = text; }
    bool Calculated() const { return m_calculated; }
    void SetCalculated(bool calculated) { m_calculated = calculated; }

    // The picture's path as set; a file that cannot be read as an image raises TvError 1006 and
    // leaves the field as it was. An empty path removes the picture.
    QString Picture() const { return m_picturePath; }
    void SetPicture(const QString& path);
    const QImage& PictureImage() const { return m_picture; }

    int Left() const { return m_rect.x(); }
    int Top() const { return m_rect.y(); }
    int Width() const { return m_rect.width(); }
    int Height() const { return m_rect.height(); }
    void SetLeft(int twips) { m_rect.moveLeft(twips); }
    void SetTop(int twips) { m_rect.moveTop(twips); }
    void SetWidth(int twips) { m_rect.setWidth(twips); }
    void SetHeight(int twips) { m_rect.setHeight(twips); }
    QRect Rect() const { return m_rect; }

    ReportFont Font() const { return m_font; }
    void SetFont(const ReportFont& font) { m_font = font; }
    int Alignment() const { return m_alignment; }
    void SetAlignment(int alignment) { m_alignment = alignment; }
    // Number format applied when the value is a number ("0.00", "#,##0.00"); empty: as it is.
    QString Format() const { return m_format; }
    void SetFormat(const QString& format) { m_format = format; }
    QColor Color() const { return m_color; }
    void SetColor(const QColor& color) { m_color = color; }
    QColor Background() const { return m_background; }
    void SetBackground(const QColor& color) { m_background = color; }
    int BorderWidth() const { return m_borderWidth; }
    void SetBorderWidth(int twips) { m_borderWidth = twips; }
    QColor BorderColor() const { return m_borderColor; }
    void SetBorderColor(const QColor& color) { m_borderColor = color; }
    // Long text wraps and the field grows, pushing down what lies below it in its section.
    bool CanGrow() const { return m_canGrow; }
    void SetCanGrow(bool canGrow) { m_canGrow = canGrow; }
    bool WordWrap() const { return m_wrap || m_canGrow; }
    void SetWordWrap(bool wrap) { m_wrap = wrap; }
    // The value is drawn as a QR code, the largest square that fits the field, at its top and
    // placed across it by the alignment.
    bool Qr() const { return m_qr; }
    void SetQr(bool qr) { m_qr = qr; }

    // The report name of the sub-report this field holds; empty when none.
    QString SubReport() const { return m_subReport; }
    void SetSubReport(const QString& reportName);
    // The sub-report's own instance (data source and fields), once the component resolved it.
    ReportDefinition* SubReportDefinition() const { return m_subDefinition.get(); }
    void SetSubReportDefinition(std::unique_ptr<ReportDefinition> definition);

private:
    QString m_name;
    int m_section = 0;
    QString m_text;
    bool m_calculated = false;
    QString m_picturePath;
    QImage m_picture;
    QRect m_rect;
    ReportFont m_font;
    int m_alignment = Qt::AlignLeft;
    QString m_format;
    QColor m_color = Qt::black;
    QColor m_background;
    int m_borderWidth = 0;
    QColor m_borderColor = Qt::black;
    bool m_canGrow = false;
    bool m_wrap = false;
    bool m_qr = false;
    QString m_subReport;
    std::unique_ptr<ReportDefinition> m_subDefinition;
};
