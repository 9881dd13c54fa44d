// A report's definition: paper, sections, fields and data sources, looked up by name.

#include "platform/report/ReportDefinition.h"

#include "platform/util/TvError.h"

ReportDefinition::ReportDefinition() = default;
ReportDefinition::~ReportDefinition() = default;

std::unique_ptr<ReportDefinition> ReportDefinition::Clone() const {
    auto copy = std::make_unique<ReportDefinition>();
    copy->m_name = m_name;
    copy->m_title = m_title;
    copy->m_recordSource = m_recordSource;
    copy->m_connectionText = m_connectionText;
    copy->m_headerSource = m_headerSource;
    copy->m_parameters = m_parameters;
    copy->m_locale = m_locale;
    copy->m_paper = m_paper;
    copy->m_sections = m_sections;
    copy->m_sortKeys = m_sortKeys;
    copy->m_groups = m_groups;
    for (const auto& field : m_fields)
        copy->m_fields.push_back(field->Clone());
    return copy;
}

ReportField& ReportDefinition::Field(int index) const {
    if (index < 0 || index >= FieldCount())
        throw TvError(ErrorNumber::NoSuchField,
                      QString("El informe \"%1\" no tiene el campo %2 (tiene %3)")
                          .arg(m_name)
                          .arg(index)
                          .arg(FieldCount()));
    return *m_fields[size_t(index)];
}

ReportField& ReportDefinition::Field(const QString& name) const {
    const int index = FieldIndex(name);
    if (index < 0)
        throw TvError(ErrorNumber::NoSuchField,
                      QString("El informe \"%1\" no tiene el campo \"%2\"").arg(m_name, name));
    return *m_fields[size_t(index)];
}

int ReportDefinition::FieldIndex(const QString& name) const {
    for (size_t i = 0; i < m_fields.size(); ++i)
        if (m_fields[i]->Name().compare(name, Qt::CaseInsensitive) == 0)
            return int(i);
    return -1;
}

ReportField& ReportDefinition::AddField(std::unique_ptr<ReportField> field) {
    m_fields.push_back(std::move(field));
    return *m_fields.back();
}

int ReportDefinition::SectionIndex(ReportSection::Kind kind, int group) const {
    for (int i = 0; i < m_sections.size(); ++i)
        if (m_sections[i].kind == kind && (group < 0 || m_sections[i].group == group))
            return i;
    return -1;
}
