#pragma once

#include <QString>
#include <stdexcept>

// The error every component of the suite raises: a number the callers react to (the classic
// run-time numbers, see ErrorNumber), a description in the user's language and, for database
// errors, the statement that failed.
class TvError : public std::runtime_error {
public:
    TvError(int number, const QString& description, const QString& statement = {});

    int Number() const { return m_number; }
    const QString& Description() const { return m_description; }
    const QString& Statement() const { return m_statement; }

    // Number, description and statement on one line, for logs and messages.
    QString FullText() const;

private:
    int m_number;
    QString m_description;
    QString m_statement;
};

namespace ErrorNumber {
constexpr int InvalidCall = 5; // an argument the operation does not know (an interval, a style)
constexpr int Overflow = 6;
constexpr int TypeMismatch = 13;
constexpr int FileNotFound = 53;
constexpr int DiskFull = 61;
constexpr int PathFileAccess = 75;
constexpr int InvalidPropertyValue = 380; // a printer refused a setting
constexpr int NoSuchField = 381;          // a field name or index a report does not have
constexpr int PrinterInfoUnavailable = 484;
constexpr int RenderAbandoned = 1001; // the report component gave up: return silently
constexpr int BadPicture = 1006;      // a picture the report component cannot load
constexpr int BadReport = 1010;       // a definition file or expression that cannot be used
constexpr int Database = 3000;        // any failure of the database engine
constexpr int UserNotFound = 10000;
} // namespace ErrorNumber
