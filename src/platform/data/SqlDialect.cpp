// The suite's Access-flavoured SQL made portable, and statements taken apart, token by token.

#include "platform/data/SqlDialect.h"

#include <QSet>
#include <QVector>

namespace {

enum class Kind { Word, Literal, QuotedName, Bracket, Comment, Space, Symbol };

struct Token {
    Kind kind;
    int start;
    int end;     // one past the last character
    bool closed; // a literal, quoted name, bracket or block comment that found its end
};

bool IsWordChar(QChar c) {
    return c.isLetterOrNumber() || c == QChar('_');
}

// Index one past a quoted run starting at i; a doubled quote stays inside.
int EndOfQuoted(const QString& sql, int i, QChar quote, bool& closed) {
    const int n = int(sql.size());
    for (int j = i + 1; j < n; ++j) {
        if (sql[j] != quote)
            continue;
        if (j + 1 < n && sql[j + 1] == quote) {
            ++j;
            continue;
        }
        closed = true;
        return j + 1;
    }
    closed = false;
    return n;
}

QVector<Token> Lex(const QString& sql) {
    QVector<Token> tokens;
    const int n = int(sql.size());
    int i = 0;
    while (i < n) {
        const QChar c = sql[i];
        const QChar next = i + 1 < n ? sql[i + 1] : QChar();
        Token t{Kind::Symbol, i, i + 1, true};
        if (c.isSpace()) {
            t.kind = Kind::Space;
            while (t.end < n && sql[t.end].isSpace())
                ++t.end;
        } else if (c == QChar('\'')) {
            t.kind = Kind::Literal;
            t.end = EndOfQuoted(sql, i, c, t.closed);
        } else if (c == QChar('"')) {
            t.kind = Kind::QuotedName;
            t.end = EndOfQuoted(sql, i, c, t.closed);
        } else if (c == QChar('[')) {
            t.kind = Kind::Bracket;
            const int close = int(sql.indexOf(QChar(']'), i + 1));
            t.closed = close >= 0;
            t.end = t.closed ? close + 1 : n;
        } else if (c == QChar('-') && next == QChar('-')) {
            t.kind = Kind::Comment;
            const int eol = int(sql.indexOf(QChar('\n'), i));
            t.end = eol >= 0 ? eol : n;
        } else if (c == QChar('/') && next == QChar('*')) {
            t.kind = Kind::Comment;
            const int close = int(sql.indexOf(QStringLiteral("*/"), i + 2));
            t.closed = close >= 0;
            t.end = t.closed ? close + 2 : n;
        } else if (IsWordChar(c)) {
            t.kind = Kind::Word;
            while (t.end < n && IsWordChar(sql[t.end]))
                ++t.end;
        }
        tokens.append(t);
        i = t.end;
    }
    return tokens;
}

QStringView Text(const QString& sql, const Token& t) {
    return QStringView(sql).mid(t.start, t.end - t.start);
}

bool IsWord(const QString& sql, const Token& t, QStringView word) {
    return t.kind == Kind::Word && Text(sql, t).compare(word, Qt::CaseInsensitive) == 0;
}

bool IsSymbol(const QString& sql, const Token& t, QChar symbol) {
    return t.kind == Kind::Symbol && sql[t.start] == symbol;
}

// Next token from k that is neither blank nor a comment; to when none.
int NextSignificant(const QVector<Token>& tokens, int k, int to) {
    while (k < to && (tokens[k].kind == Kind::Space || tokens[k].kind == Kind::Comment))
        ++k;
    return k;
}

// The token closing the parenthesis opened at open; -1 when it is never closed.
int MatchingParen(const QString& sql, const QVector<Token>& tokens, int open, int to) {
    int depth = 0;
    for (int k = open; k < to; ++k) {
        if (IsSymbol(sql, tokens[k], QChar('(')))
            ++depth;
        else if (IsSymbol(sql, tokens[k], QChar(')')) && --depth == 0)
            return k;
    }
    return -1;
}

// Whether the significant token before k (from on) is the word.
bool FollowsWord(const QString& sql, const QVector<Token>& tokens, int from, int k,
                 QStringView word) {
    int before = k - 1;
    while (before >= from &&
           (tokens[before].kind == Kind::Space || tokens[before].kind == Kind::Comment))
        --before;
    return before >= from && IsWord(sql, tokens[before], word);
}

QString TranslateTokens(const QString& sql, const QVector<Token>& tokens, int from, int to) {
    QString out;
    out.reserve(sql.size());
    for (int k = from; k < to; ++k) {
        const Token& t = tokens[k];
        const QStringView text = Text(sql, t);
        if (t.kind == Kind::Bracket && t.closed) {
            QString name = text.mid(1, text.size() - 2).toString();
            name.replace(QChar('"'), QStringLiteral("\"\""));
            out += QChar('"') + name + QChar('"');
            continue;
        }
        if (t.kind != Kind::Word) {
            out += text;
            continue;
        }
        // After a bare ISNULL word the "(" this writes would turn that word into a call on the
        // next pass, and translated text must translate to itself.
        if (IsWord(sql, t, u"ISNULL") && !FollowsWord(sql, tokens, from, k, u"ISNULL")) {
            const int open = NextSignificant(tokens, k + 1, to);
            const int close = open < to && IsSymbol(sql, tokens[open], QChar('('))
                                  ? MatchingParen(sql, tokens, open, to)
                                  : -1;
            if (close >= 0) {
                QString operand = TranslateTokens(sql, tokens, open + 1, close).trimmed();
                // A line comment last inside the parentheses would swallow " IS NULL)".
                int last = close - 1;
                while (last > open && tokens[last].kind == Kind::Space)
                    --last;
                if (tokens[last].kind == Kind::Comment && sql[tokens[last].start] == QChar('-'))
                    operand += QChar('\n');
                out += QChar('(') + operand + QStringLiteral(" IS NULL)");
                k = close;
                continue;
            }
        }
        if (IsWord(sql, t, u"true"))
            out += QChar('1');
        else if (IsWord(sql, t, u"false"))
            out += QChar('0');
        else
            out += text;
    }
    return out;
}

// A top-level keyword that ends a WHERE condition.
bool EndsCondition(const QString& sql, const QVector<Token>& tokens, int k) {
    const Token& t = tokens[k];
    if (IsSymbol(sql, t, QChar(';')))
        return true;
    if (t.kind != Kind::Word)
        return false;
    for (QStringView word : {u"HAVING", u"LIMIT", u"OFFSET", u"UNION", u"EXCEPT", u"INTERSECT"})
        if (IsWord(sql, t, word))
            return true;
    if (IsWord(sql, t, u"ORDER") || IsWord(sql, t, u"GROUP")) {
        const int next = NextSignificant(tokens, k + 1, int(tokens.size()));
        return next < tokens.size() && IsWord(sql, tokens[next], u"BY");
    }
    return false;
}

// Whether the text holds anything the translator changes ("[", ISNULL, true, false), perhaps
// inside a literal. Most statements hold none of it, and lexing them costs a good part of what
// running them does; one pass over the characters costs little.
bool MayNeedTranslation(const QString& sql) {
    const QChar* c = sql.constData();
    const QChar* end = c + sql.size();
    auto startsWith = [&](const QChar* at, const char* word) {
        for (; *word; ++word, ++at)
            if (at == end || (at->unicode() | 0x20) != *word)
                return false;
        return true;
    };
    for (; c != end; ++c) {
        if (*c == QLatin1Char('['))
            return true;
        switch (c->unicode() | 0x20) {
        case 'i':
            if (startsWith(c, "isnull"))
                return true;
            break;
        case 't':
            if (startsWith(c, "true"))
                return true;
            break;
        case 'f':
            if (startsWith(c, "false"))
                return true;
            break;
        default:
            break;
        }
    }
    return false;
}

} // namespace

QString SqlDialect::Translate(const QString& sql) {
    if (!MayNeedTranslation(sql))
        return sql;
    const QVector<Token> tokens = Lex(sql);
    return TranslateTokens(sql, tokens, 0, int(tokens.size()));
}

QString SqlDialect::WhereCondition(const QString& sql) {
    const QVector<Token> tokens = Lex(sql);
    const int n = int(tokens.size());
    int depth = 0;
    int start = -1;
    for (int k = 0; k < n; ++k) {
        const Token& t = tokens[k];
        if (IsSymbol(sql, t, QChar('('))) {
            ++depth;
        } else if (IsSymbol(sql, t, QChar(')'))) {
            --depth;
        } else if (depth == 0 && start < 0 && IsWord(sql, t, u"WHERE")) {
            start = t.end;
        } else if (depth == 0 && start >= 0 && EndsCondition(sql, tokens, k)) {
            return sql.mid(start, t.start - start).trimmed();
        }
    }
    return start < 0 ? QString() : sql.mid(start).trimmed();
}

bool SqlDialect::IsQuery(const QString& sql) {
    const QVector<Token> tokens = Lex(sql);
    const int n = int(tokens.size());
    const int first = NextSignificant(tokens, 0, n);
    if (first == n)
        return false;
    const Token& head = tokens[first];
    if (!IsSymbol(sql, head, QChar('(')) && !IsWord(sql, head, u"SELECT") &&
        !IsWord(sql, head, u"WITH") && !IsWord(sql, head, u"VALUES"))
        return false;
    for (int k = first; k < n; ++k)
        if (IsSymbol(sql, tokens[k], QChar(';')) && NextSignificant(tokens, k + 1, n) < n)
            return false;
    return true;
}

namespace {

// Functions a report may call, on either engine. A list of what is allowed rather than of what is
// dangerous: a server offers hundreds of functions, and a new version adds more.
const QSet<QString>& ReportFunctions() {
    static const QSet<QString> names{
        // aggregates and comparisons
        "count", "sum", "avg", "min", "max", "total", "group_concat", "string_agg", "coalesce",
        "nullif", "ifnull", "greatest", "least", "iif",
        // numbers
        "abs", "round", "trunc", "floor", "ceil", "ceiling", "mod", "sign", "power", "sqrt",
        // texts
        "upper", "lower", "trim", "ltrim", "rtrim", "btrim", "substr", "substring", "length",
        "char_length", "character_length", "concat", "concat_ws", "replace", "left", "right",
        "lpad", "rpad", "instr", "strpos", "position", "printf", "format", "initcap", "repeat",
        "reverse", "split_part", "translate",
        // dates and conversions
        "cast", "extract", "date_part", "date_trunc", "to_char", "to_number", "to_date",
        "make_date", "strftime", "date", "datetime", "julianday", "typeof",
        // type names that take a length or precision
        "char", "varchar", "character", "numeric", "decimal", "float", "timestamp", "time",
        "interval"};
    return names;
}

// Words after which a parenthesis opens a list, a sub-query or a clause, not a call.
const QSet<QString>& ClauseWords() {
    static const QSet<QString> words{
        "select",  "from",     "where",     "and",          "or",     "not",   "in",     "exists",
        "on",      "using",    "as",        "values",       "any",    "all",   "some",   "join",
        "by",      "over",     "filter",    "within",       "case",   "when",  "then",   "else",
        "end",     "union",    "intersect", "except",       "having", "limit", "offset", "with",
        "lateral", "distinct", "is",        "between",      "like",   "ilike", "row",    "array",
        "group",   "order",    "partition", "rows",         "range",  "asc",   "desc",   "escape",
        "similar", "to",       "recursive", "materialized", "rollup", "cube",  "sets",   "grouping",
        "fetch",   "only"};
    return words;
}

} // namespace

QString SqlDialect::RefusedInReport(const QString& sql) {
    const QVector<Token> tokens = Lex(sql);
    const int n = int(tokens.size());
    for (int k = 0; k < n; ++k) {
        const Token& t = tokens[k];
        if (IsSymbol(sql, t, QChar('$')) || IsSymbol(sql, t, QChar('\\')))
            return Text(sql, t).toString();
        if (t.kind == Kind::Literal && k > 0 && tokens[k - 1].kind == Kind::Word &&
            tokens[k - 1].end == t.start &&
            Text(sql, tokens[k - 1]).endsWith(QChar('e'), Qt::CaseInsensitive))
            return Text(sql, tokens[k - 1]).toString() + QStringLiteral("'...'");
        if (t.kind != Kind::Word && t.kind != Kind::QuotedName)
            continue;
        const QString word = Text(sql, t).toString().toLower();
        const int next = NextSignificant(tokens, k + 1, n);
        if (next == n)
            continue;
        if (word == QLatin1String("for") && t.kind == Kind::Word &&
            (IsWord(sql, tokens[next], u"UPDATE") || IsWord(sql, tokens[next], u"SHARE") ||
             IsWord(sql, tokens[next], u"NO") || IsWord(sql, tokens[next], u"KEY")))
            return QStringLiteral("FOR ") + Text(sql, tokens[next]).toString().toUpper();
        if (!IsSymbol(sql, tokens[next], QChar('(')))
            continue;
        if (t.kind == Kind::Word && ClauseWords().contains(word))
            continue;
        if (t.kind == Kind::QuotedName || !ReportFunctions().contains(word))
            return Text(sql, t).toString();
    }
    return {};
}

QStringList SqlDialect::SplitTopLevel(const QString& list, QChar separator) {
    if (list.trimmed().isEmpty())
        return {};
    QStringList pieces;
    int depth = 0;
    int start = 0;
    for (const Token& t : Lex(list)) {
        if (IsSymbol(list, t, QChar('('))) {
            ++depth;
        } else if (IsSymbol(list, t, QChar(')'))) {
            --depth;
        } else if (depth == 0 && IsSymbol(list, t, separator)) {
            pieces << list.mid(start, t.start - start).trimmed();
            start = t.end;
        }
    }
    pieces << list.mid(start).trimmed();
    return pieces;
}

QStringList SqlDialect::SplitScript(const QString& script) {
    const QVector<Token> tokens = Lex(script);
    const int n = int(tokens.size());
    QStringList statements;
    QString current;
    auto finish = [&] {
        current = current.trimmed();
        if (!current.isEmpty())
            statements << current;
        current.clear();
    };
    for (int k = 0; k < n; ++k) {
        const Token& t = tokens[k];
        if (t.kind == Kind::Comment)
            continue;
        if (!IsSymbol(script, t, QChar(';'))) {
            current += Text(script, t);
            continue;
        }
        int j = k + 1;
        bool endsLine = true;
        for (; j < n; ++j) {
            const Token& after = tokens[j];
            if (after.kind == Kind::Space && Text(script, after).contains(QChar('\n')))
                break;
            if (after.kind != Kind::Space && after.kind != Kind::Comment) {
                endsLine = false;
                break;
            }
        }
        if (endsLine)
            finish();
        else
            current += QChar(';');
    }
    finish();
    return statements;
}
