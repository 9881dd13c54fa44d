#pragma once

// What a report may hold and produce, so that no definition file and no data can exhaust the
// stack, the memory or the patience of the program: beyond these a report is refused with error
// 1010 saying which limit it passed (docs/report-format.md lists them).
namespace ReportLimits {

// Any size or position in twips: 200,000 twips (3.5 m) is more than any paper a printer takes,
// and MaxTwips x MaxPages still fits a 32-bit coordinate, so no sum of them can overflow.
constexpr int MaxTwips = 200000;
constexpr double MaxFontSize = 1000; // points
// Fields of a report with all of its sub-reports, and lines of one report.
constexpr int MaxFields = 1000;
constexpr int MaxLines = 1000;
constexpr int MaxGroups = 20;
// Characters of one expression, and how deep parentheses, function calls and the operators
// Not and unary minus may nest in it.
constexpr int MaxExpressionLength = 10000;
constexpr int MaxNesting = 64;
constexpr int MaxPages = 10000;

} // namespace ReportLimits
