#pragma once

#include "platform/report/PageModel.h"

class ReportDefinition;

// Lays a report out into pages: runs its record source (and those of its sub-reports) through
// DataAccess, evaluates every field per row, pages the sections and fills Page and Pages in a
// second pass once the page count is known. Raises TvError 1010 for an expression or a paper
// that cannot be used; database errors pass through.
class ReportLayout {
public:
    static PageModel Run(const ReportDefinition& report);
};
