// The suite's error: a number, a description and the statement that failed.

#include "platform/util/TvError.h"

TvError::TvError(int number, const QString& description, const QString& statement)
    : std::runtime_error(description.toStdString()), m_number(number), m_description(description),
      m_statement(statement) {}

QString TvError::FullText() const {
    QString text = QString::number(m_number) + " " + m_description;
    if (!m_statement.isEmpty())
        text += "\n" + m_statement;
    return text;
}
