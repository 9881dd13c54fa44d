#pragma once

#include "platform/report/ReportDefinition.h"

#include <QString>
#include <map>
#include <memory>

// Reads a report-definition file (the XML format of docs/report-format.md) into its named
// reports. A missing file raises TvError 53; anything the format does not allow raises
// TvError 1010 with the line and column.
class ReportFile {
public:
    using Library = std::map<QString, std::unique_ptr<ReportDefinition>>;

    static Library Read(const QString& path);
    // Names are matched without regard to case.
    static QString Key(const QString& reportName) { return reportName.toLower(); }
};
