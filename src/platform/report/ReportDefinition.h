#pragma once

#include "platform/report/ReportField.h"

#include <QColor>
#include <QLocale>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>
#include <memory>
#include <vector>

// Paper and margins, in twips.
struct ReportPaper {
    int width = 11906; // A4
    int height = 16838;
    int left = 1134;
    int top = 1134;
    int right = 1134;
    int bottom = 1134;
    // A roll (a till's receipt): one page as long as the document, never shorter than height.
    bool continuous = false;
};

// A line drawn in a section, in twips relative to the section: from (left, top) to
// (left + width, top + height).
struct ReportLine {
    QRect rect;
    int thickness = 0;
    QColor color = Qt::black;
};

struct ReportSection {
    enum Kind {
        ReportHeader,
        PageHeader,
        GroupHeader,
        Detail,
        GroupFooter,
        PageFooter,
        ReportFooter,
        // On the first page, in the place of the page header: room for what only the first page
        // carries (a tax QR code) without a taller header on every page.
        FirstPageHeader
    };

    Kind kind = Detail;
    int group = -1; // group headers and footers: index into the report's groups
    int height = 0;
    QColor background;
    QVector<ReportLine> lines;
};

// Rows are grouped by the value of expression; groups nest in the order they are declared.
struct ReportGroup {
    QString name;
    QString expression;
};

// One named report of a definition file, with its data source and fields as the caller bound
// them. Sub-reports are instances of this class too.
class ReportDefinition {
public:
    ReportDefinition();
    ~ReportDefinition();
    ReportDefinition(const ReportDefinition&) = delete;
    ReportDefinition& operator=(const ReportDefinition&) = delete;
    std::unique_ptr<ReportDefinition> Clone() const;

    QString Name() const { return m_name; }
    void SetName(const QString& name) { m_name = name; }

    QString RecordSource() const { return m_recordSource; }
    void SetRecordSource(const QString& sql) { m_recordSource = sql; }
    QString ConnectionText() const { return m_connectionText; }
    void SetConnectionText(const QString& text) { m_connectionText = text; }
    // SQL for data the record source does not carry (the issuer, a credited invoice), read once:
    // ":name" stands for the value of the record source's column name in its first row.
    QString HeaderSource() const { return m_headerSource; }
    void SetHeaderSource(const QString& sql) { m_headerSource = sql; }
    // Values of the session rather than of the document (how the register works, from the ini):
    // the header source names them as ":name" like a column, so a layout reads them as data.
    // They take precedence over the record source's columns of the same name.
    const QMap<QString, QVariant>& Parameters() const { return m_parameters; }
    void SetParameter(const QString& name, const QVariant& value) { m_parameters[name] = value; }

    // An expression for the document's title, evaluated on the first row; empty: no title.
    QString Title() const { return m_title; }
    void SetTitle(const QString& expression) { m_title = expression; }

    // The locale of the report's texts: the separators of formatted numbers.
    QLocale Locale() const { return m_locale; }
    void SetLocale(const QLocale& locale) { m_locale = locale; }

    const ReportPaper& Paper() const { return m_paper; }
    void SetPaper(const ReportPaper& paper) { m_paper = paper; }

    int FieldCount() const { return int(m_fields.size()); }
    // Index from 0 or name (case-insensitive); a field the report does not have raises
    // TvError 381.
    ReportField& Field(int index) const;
    ReportField& Field(const QString& name) const;
    // -1 when there is no such field.
    int FieldIndex(const QString& name) const;
    ReportField& AddField(std::unique_ptr<ReportField> field);

    const QVector<ReportSection>& Sections() const { return m_sections; }
    QVector<ReportSection>& Sections() { return m_sections; }
    // Expressions the rows are sorted by once read, in the report's locale (so names sort as its
    // readers expect), before they are grouped; the first is the main key.
    const QStringList& SortKeys() const { return m_sortKeys; }
    QStringList& SortKeys() { return m_sortKeys; }
    const QVector<ReportGroup>& Groups() const { return m_groups; }
    QVector<ReportGroup>& Groups() { return m_groups; }
    // The index of the section of that kind (and group), -1 when the report has none.
    int SectionIndex(ReportSection::Kind kind, int group = -1) const;

private:
    QString m_name;
    QString m_title;
    QString m_recordSource;
    QString m_connectionText;
    QString m_headerSource;
    QMap<QString, QVariant> m_parameters;
    QLocale m_locale = QLocale::c();
    ReportPaper m_paper;
    QVector<ReportSection> m_sections;
    QStringList m_sortKeys;
    QVector<ReportGroup> m_groups;
    std::vector<std::unique_ptr<ReportField>> m_fields;
};
