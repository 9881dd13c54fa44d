#pragma once

#include <QString>
#include <QStringList>

// Turns the suite's Access-flavoured SQL into text that SQLite and PostgreSQL both accept, and
// takes statements apart where DataAccess needs their pieces. Every function reads the text as a
// sequence of tokens, so string literals ('O''Brien'), quoted names ("x") and bracketed aliases
// ([a, b]) are never mistaken for keywords, commas or parentheses.
class SqlDialect {
public:
    // ISNULL(x) -> (x IS NULL) (x may hold parentheses and further ISNULLs), [alias] -> "alias",
    // the words true and false in any case -> 1 and 0. Literals, quoted names and comments are
    // copied as they stand. Translating translated text changes nothing.
    static QString Translate(const QString& sql);

    // The WHERE condition of a statement, without ORDER BY, GROUP BY, HAVING, LIMIT or a
    // following UNION; a WHERE inside a sub-select in parentheses or a literal does not count.
    // Empty when the statement has no condition.
    static QString WhereCondition(const QString& sql);

    // The list cut at the separators that stand outside literals, brackets and parentheses;
    // each piece trimmed ("1,'x, y',f(2,3)" -> "1", "'x, y'", "f(2,3)").
    static QStringList SplitTopLevel(const QString& list, QChar separator = QChar(','));

    // True when the text is one statement that asks for rows: it starts with SELECT, WITH,
    // VALUES or a parenthesis, and nothing but blanks and comments follows a ";" in it.
    static bool IsQuery(const QString& sql);

    // What a report's query may not use, or empty when it only reads with the functions that
    // reports need (aggregates, text, numbers, dates, conversions): any other function (locks,
    // signals to other sessions, files, settings, sleeping), row locks (FOR UPDATE / SHARE) and
    // the forms of literal whose end this reading could mistake ($$...$$, E'...'). The answer
    // names what was found, as written.
    static QString RefusedInReport(const QString& sql);

    // The statements of a script: a ";" that ends a line (blanks and a -- comment may follow)
    // ends a statement; -- comments are dropped; empty statements are skipped.
    static QStringList SplitScript(const QString& script);
};
