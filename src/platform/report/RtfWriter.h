#pragma once

#include "platform/report/ReportWriter.h"

#include <QByteArray>

// Rich text for word processors: one section per page with its paper size, every text in a
// frame positioned on the page, pictures as PNG.
class RtfWriter : public ReportWriter {
public:
    bool Write(const PageModel& model, const QString& path) override;
    QString NameFilter() const override { return "Texto enriquecido RTF (*.rtf)"; }

    static QByteArray ToRtf(const PageModel& model);
};
