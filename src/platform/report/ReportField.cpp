// One field of a report: its text or expression, its picture or its sub-report.

#include "platform/report/ReportField.h"

#include "platform/report/ReportDefinition.h"
#include "platform/util/TvError.h"

#include <QFileInfo>
#include <QImageReader>

ReportField::ReportField() = default;
ReportField::~ReportField() = default;

std::unique_ptr<ReportField> ReportField::Clone() const {
    auto copy = std::make_unique<ReportField>();
    copy->m_name = m_name;
    copy->m_section = m_section;
    copy->m_text = m_text;
    copy->m_calculated = m_calculated;
    copy->m_picturePath = m_picturePath;
    copy->m_picture = m_picture;
    copy->m_rect = m_rect;
    copy->m_font = m_font;
    copy->m_alignment = m_alignment;
    copy->m_format = m_format;
    copy->m_color = m_color;
    copy->m_background = m_background;
    copy->m_borderWidth = m_borderWidth;
    copy->m_borderColor = m_borderColor;
    copy->m_canGrow = m_canGrow;
    copy->m_wrap = m_wrap;
    copy->m_qr = m_qr;
    copy->m_subReport = m_subReport;
    if (m_subDefinition)
        copy->m_subDefinition = m_subDefinition->Clone();
    return copy;
}

void ReportField::SetPicture(const QString& path) {
    if (path.isEmpty()) {
        m_picturePath.clear();
        m_picture = {};
        return;
    }
    // Only a file: a device such as /dev/stdin named in a definition would be read for ever.
    QImageReader reader(path);
    QImage image = QFileInfo(path).isFile() ? reader.read() : QImage();
    if (image.isNull())
        throw TvError(ErrorNumber::BadPicture,
                      QString("No se puede cargar la imagen \"%1\" del campo \"%2\": %3")
                          .arg(path, m_name,
                               QFileInfo(path).isFile() ? reader.errorString()
                                                        : QString("no es un archivo")));
    m_picturePath = path;
    m_picture = image;
}

void ReportField::SetSubReport(const QString& reportName) {
    if (reportName != m_subReport)
        m_subDefinition.reset();
    m_subReport = reportName;
}

void ReportField::SetSubReportDefinition(std::unique_ptr<ReportDefinition> definition) {
    m_subDefinition = std::move(definition);
}
