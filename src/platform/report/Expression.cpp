// A report field's expression: its parser, its functions and aggregates, evaluated per row.

#include "platform/report/Expression.h"

#include "platform/data/Rows.h"
#include "platform/report/ReportLimits.h"
#include "platform/util/Utility.h"

#include <QHash>
#include <QUrl>
#include <cmath>
#include <vector>

namespace {

enum class Op {
    Literal,
    Column,
    HeaderColumn,
    Page,
    Pages,
    Neg,
    Not,
    Chain,
    Iif,
    Mid,
    Left,
    Right,
    Len,
    Trim,
    LTrim,
    RTrim,
    UCase,
    LCase,
    Format,
    Val,
    Url,
    Sum,
    Count,
    Min,
    Max,
    Avg
};

struct Function {
    Op op;
    int minArgs;
    int maxArgs;
};

const QHash<QString, Function>& Functions() {
    static const QHash<QString, Function> functions = {
        {"iif", {Op::Iif, 3, 3}},     {"mid", {Op::Mid, 2, 3}},       {"left", {Op::Left, 2, 2}},
        {"right", {Op::Right, 2, 2}}, {"len", {Op::Len, 1, 1}},       {"trim", {Op::Trim, 1, 1}},
        {"ltrim", {Op::LTrim, 1, 1}}, {"rtrim", {Op::RTrim, 1, 1}},   {"ucase", {Op::UCase, 1, 1}},
        {"lcase", {Op::LCase, 1, 1}}, {"format", {Op::Format, 2, 2}}, {"val", {Op::Val, 1, 1}},
        {"sum", {Op::Sum, 1, 2}},     {"count", {Op::Count, 1, 2}},   {"min", {Op::Min, 1, 2}},
        {"max", {Op::Max, 1, 2}},     {"avg", {Op::Avg, 1, 2}},       {"page", {Op::Page, 0, 0}},
        {"pages", {Op::Pages, 0, 0}}, {"urlencode", {Op::Url, 1, 1}},
    };
    return functions;
}

// The operators between the operands of a chain.
enum class Binary { And, Or, Concat, Add, Sub, Mul, Div, Eq, Ne, Lt, Gt, Le, Ge };

bool IsAggregate(Op op) {
    return op == Op::Sum || op == Op::Count || op == Op::Min || op == Op::Max || op == Op::Avg;
}

enum class Scope { Default, Group, Report };

} // namespace

struct Expression::Node {
    Op op = Op::Literal;
    Value value;
    int column = -1;
    Scope scope = Scope::Default;
    std::vector<std::unique_ptr<Node>> args;
    // Op::Chain: ops[i] stands between args[i] and args[i + 1], applied left to right.
    std::vector<Binary> ops;
};

namespace {

using Node = Expression::Node;
using Value = Expression::Value;

struct Token {
    enum Kind { End, Number, String, Name, Symbol };
    Kind kind = End;
    QString text;
    double number = 0;
    int position = 1; // 1-based
};

class Parser {
public:
    Parser(const QString& text, const QStringList* columns, const QStringList* headerColumns)
        : m_text(text), m_columns(columns), m_headerColumns(headerColumns) {
        Next();
    }

    std::unique_ptr<Node> ParseAll() {
        if (m_text.size() > ReportLimits::MaxExpressionLength)
            Fail(ReportLimits::MaxExpressionLength + 1,
                 QString("la expresión tiene más de %1 caracteres")
                     .arg(ReportLimits::MaxExpressionLength));
        auto root = ParseOr();
        if (m_token.kind != Token::End)
            Fail(m_token.position, "sobra \"" + m_token.text + "\"");
        return root;
    }
    bool UsesPages() const { return m_usesPages; }

private:
    [[noreturn]] void Fail(int position, const QString& message) {
        throw Expression::Error{position, message};
    }

    void Next() {
        int i = m_pos;
        while (i < m_text.size() && m_text[i].isSpace())
            ++i;
        m_token = Token{};
        m_token.position = i + 1;
        if (i >= m_text.size()) {
            m_pos = i;
            return;
        }
        const QChar c = m_text[i];
        if (c.isDigit() || (c == '.' && i + 1 < m_text.size() && m_text[i + 1].isDigit())) {
            int j = i;
            while (j < m_text.size() && (m_text[j].isDigit() || m_text[j] == '.'))
                ++j;
            bool ok = false;
            m_token.kind = Token::Number;
            m_token.text = m_text.mid(i, j - i);
            m_token.number = m_token.text.toDouble(&ok);
            if (!ok)
                Fail(i + 1, "número incorrecto \"" + m_token.text + "\"");
            m_pos = j;
        } else if (c == '"') {
            QString value;
            int j = i + 1;
            for (;;) {
                if (j >= m_text.size())
                    Fail(i + 1, "falta cerrar las comillas");
                if (m_text[j] == '"') {
                    if (j + 1 < m_text.size() && m_text[j + 1] == '"') {
                        value += '"';
                        j += 2;
                        continue;
                    }
                    break;
                }
                value += m_text[j++];
            }
            m_token.kind = Token::String;
            m_token.text = value;
            m_pos = j + 1;
        } else if (c.isLetter() || c == '_' || c == '[') {
            int j = i;
            if (c == '[') {
                j = int(m_text.indexOf(']', i));
                if (j < 0)
                    Fail(i + 1, "falta cerrar el corchete");
                m_token.text = m_text.mid(i + 1, j - i - 1);
                m_pos = j + 1;
            } else {
                while (j < m_text.size() && (m_text[j].isLetterOrNumber() || m_text[j] == '_'))
                    ++j;
                m_token.text = m_text.mid(i, j - i);
                m_pos = j;
            }
            m_token.kind = Token::Name;
        } else {
            static const QStringList twoChar = {"<>", "<=", ">="};
            const QString two = m_text.mid(i, 2);
            m_token.kind = Token::Symbol;
            m_token.text = twoChar.contains(two) ? two : QString(c);
            if (!twoChar.contains(two) && !QString("&+-*/=<>(),").contains(c))
                Fail(i + 1, "carácter inesperado \"" + QString(c) + "\"");
            m_pos = i + int(m_token.text.size());
        }
    }

    bool IsSymbol(const char* symbol) const {
        return m_token.kind == Token::Symbol && m_token.text == QLatin1String(symbol);
    }
    bool IsWord(const char* word) const {
        return m_token.kind == Token::Name &&
               m_token.text.compare(QLatin1String(word), Qt::CaseInsensitive) == 0;
    }
    void Expect(const char* symbol) {
        if (!IsSymbol(symbol))
            Fail(m_token.position, QString("se esperaba \"%1\"").arg(symbol) + Found());
        Next();
    }
    QString Found() const {
        return m_token.kind == Token::End ? " y termina la expresión"
                                          : " y hay \"" + m_token.text + "\"";
    }

    // Parentheses, calls and unary operators recurse; their depth is bounded so that no text
    // can exhaust the stack.
    class Nesting {
    public:
        explicit Nesting(Parser& parser) : m_parser(parser) {
            if (++m_parser.m_depth > ReportLimits::MaxNesting)
                m_parser.Fail(m_parser.m_token.position,
                              QString("anida más de %1 niveles de paréntesis, funciones u "
                                      "operadores")
                                  .arg(ReportLimits::MaxNesting));
        }
        ~Nesting() { --m_parser.m_depth; }
        Nesting(const Nesting&) = delete;
        Nesting& operator=(const Nesting&) = delete;

    private:
        Parser& m_parser;
    };

    static std::unique_ptr<Node> Make(Op op, std::unique_ptr<Node> a) {
        auto node = std::make_unique<Node>();
        node->op = op;
        node->args.push_back(std::move(a));
        return node;
    }

    // The operands of one level joined by its operators (which Match reads off the current
    // token), as one flat node: a sum of thousands of terms is a loop, not a deep tree.
    template <class Operand, class Match>
    std::unique_ptr<Node> ParseChain(Operand operand, Match match) {
        auto first = (this->*operand)();
        Binary op;
        if (!match(op))
            return first;
        auto chain = std::make_unique<Node>();
        chain->op = Op::Chain;
        chain->args.push_back(std::move(first));
        do {
            Next();
            chain->ops.push_back(op);
            chain->args.push_back((this->*operand)());
        } while (match(op));
        return chain;
    }

    std::unique_ptr<Node> ParseOr() {
        const Nesting nesting(*this);
        return ParseChain(&Parser::ParseAnd, [&](Binary& op) {
            op = Binary::Or;
            return IsWord("or");
        });
    }
    std::unique_ptr<Node> ParseAnd() {
        return ParseChain(&Parser::ParseNot, [&](Binary& op) {
            op = Binary::And;
            return IsWord("and");
        });
    }
    std::unique_ptr<Node> ParseNot() {
        if (IsWord("not")) {
            const Nesting nesting(*this);
            Next();
            return Make(Op::Not, ParseNot());
        }
        return ParseComparison();
    }
    std::unique_ptr<Node> ParseComparison() {
        static const QHash<QString, Binary> ops = {{"=", Binary::Eq},  {"<>", Binary::Ne},
                                                   {"<", Binary::Lt},  {">", Binary::Gt},
                                                   {"<=", Binary::Le}, {">=", Binary::Ge}};
        return ParseChain(&Parser::ParseConcat, [&](Binary& op) {
            if (m_token.kind != Token::Symbol || !ops.contains(m_token.text))
                return false;
            op = ops.value(m_token.text);
            return true;
        });
    }
    std::unique_ptr<Node> ParseConcat() {
        return ParseChain(&Parser::ParseAdditive, [&](Binary& op) {
            op = Binary::Concat;
            return IsSymbol("&");
        });
    }
    std::unique_ptr<Node> ParseAdditive() {
        return ParseChain(&Parser::ParseTerm, [&](Binary& op) {
            op = IsSymbol("+") ? Binary::Add : Binary::Sub;
            return IsSymbol("+") || IsSymbol("-");
        });
    }
    std::unique_ptr<Node> ParseTerm() {
        return ParseChain(&Parser::ParseUnary, [&](Binary& op) {
            op = IsSymbol("*") ? Binary::Mul : Binary::Div;
            return IsSymbol("*") || IsSymbol("/");
        });
    }
    std::unique_ptr<Node> ParseUnary() {
        if (IsSymbol("-") || IsSymbol("+")) {
            const Nesting nesting(*this);
            const bool negate = IsSymbol("-");
            Next();
            auto operand = ParseUnary();
            return negate ? Make(Op::Neg, std::move(operand)) : std::move(operand);
        }
        return ParsePrimary();
    }

    std::unique_ptr<Node> ParsePrimary() {
        auto node = std::make_unique<Node>();
        switch (m_token.kind) {
        case Token::Number:
            node->value = Value::FromNumber(m_token.number);
            Next();
            return node;
        case Token::String:
            node->value = Value::FromText(m_token.text);
            Next();
            return node;
        case Token::Symbol:
            if (IsSymbol("(")) {
                Next();
                auto inner = ParseOr();
                Expect(")");
                return inner;
            }
            Fail(m_token.position, "se esperaba un valor y hay \"" + m_token.text + "\"");
        case Token::End:
            Fail(m_token.position, "la expresión termina antes de tiempo");
        case Token::Name:
            break;
        }
        const Token name = m_token;
        Next();
        const QString lower = name.text.toLower();
        if (lower == "true" || lower == "false") {
            node->value = Value::FromNumber(lower == "true" ? 1 : 0);
            return node;
        }
        const auto function = Functions().constFind(lower);
        if (function != Functions().constEnd() && (IsSymbol("(") || function->maxArgs == 0))
            return ParseCall(name, *function);
        return ParseColumn(name);
    }

    std::unique_ptr<Node> ParseColumn(const Token& name) {
        const auto find = [&](const QStringList* columns) {
            for (int i = 0; columns && i < columns->size(); ++i)
                if (columns->at(i).compare(name.text, Qt::CaseInsensitive) == 0)
                    return i;
            return -1;
        };
        auto node = std::make_unique<Node>();
        if ((node->column = find(m_columns)) >= 0) {
            node->op = Op::Column;
        } else if ((node->column = find(m_headerColumns)) >= 0) {
            node->op = Op::HeaderColumn;
        } else if (m_columns) {
            Fail(name.position, "\"" + name.text + "\" no es una columna del origen de datos");
        }
        return node; // without a record source every other name reads NULL
    }

    std::unique_ptr<Node> ParseCall(const Token& name, const Function& function) {
        auto node = std::make_unique<Node>();
        node->op = function.op;
        if (function.op == Op::Page || function.op == Op::Pages)
            m_usesPages = true;
        if (!IsSymbol("("))
            return node;
        Next();
        // Page and Pages are known only per page, after the layout; a total over rows has none.
        const bool pagesBefore = m_usesPages;
        m_usesPages = false;
        if (!IsSymbol(")")) {
            for (;;) {
                if (IsAggregate(function.op) && node->args.empty() && IsSymbol("*")) {
                    Next();
                    auto one = std::make_unique<Node>();
                    one->value = Value::FromNumber(1);
                    node->args.push_back(std::move(one));
                } else if (IsAggregate(function.op) && node->args.size() == 1) {
                    node->scope = ParseScope();
                } else {
                    node->args.push_back(ParseOr());
                }
                if (!IsSymbol(","))
                    break;
                Next();
            }
        }
        if (IsAggregate(function.op) && m_usesPages)
            Fail(name.position, name.text + " no puede sumar ni comparar Page ni Pages");
        m_usesPages = m_usesPages || pagesBefore;
        const int count = int(node->args.size()) + (node->scope != Scope::Default ? 1 : 0);
        if (count < function.minArgs || count > function.maxArgs)
            Fail(name.position,
                 QString("%1 lleva %2 argumentos")
                     .arg(name.text,
                          function.minArgs == function.maxArgs
                              ? QString::number(function.minArgs)
                              : QString("de %1 a %2").arg(function.minArgs).arg(function.maxArgs)));
        Expect(")");
        return node;
    }

    Scope ParseScope() {
        const QString scope = m_token.text.toLower();
        if ((m_token.kind == Token::String || m_token.kind == Token::Name) &&
            (scope == "group" || scope == "report")) {
            Next();
            return scope == "group" ? Scope::Group : Scope::Report;
        }
        Fail(m_token.position, "el ámbito de un total es \"group\" o \"report\"");
    }

    QString m_text;
    const QStringList* m_columns;
    const QStringList* m_headerColumns;
    int m_pos = 0;
    Token m_token;
    bool m_usesPages = false;
    int m_depth = 0;
};

int Whole(const Value& value) {
    if (value.IsNull())
        return 0;
    const double number = std::floor(value.ToNumber());
    return number > 1e9 ? 1000000000 : number < -1e9 ? -1000000000 : int(number);
}

Value Compare(Binary op, const Value& a, const Value& b) {
    int order;
    // A number that is not finite compares as the empty text it shows.
    const auto numeric = [](const Value& v) {
        return v.kind == Value::Null || (v.kind == Value::Number && !v.IsNull());
    };
    if (numeric(a) && numeric(b) && !(a.kind == Value::Null && b.kind == Value::Null)) {
        const double x = a.ToNumber(), y = b.ToNumber();
        order = x < y ? -1 : x > y ? 1 : 0;
    } else {
        order = a.ToText().compare(b.ToText());
    }
    bool result = false;
    switch (op) {
    case Binary::Eq:
        result = order == 0;
        break;
    case Binary::Ne:
        result = order != 0;
        break;
    case Binary::Lt:
        result = order < 0;
        break;
    case Binary::Gt:
        result = order > 0;
        break;
    case Binary::Le:
        result = order <= 0;
        break;
    default:
        result = order >= 0;
        break;
    }
    return Value::FromNumber(result ? 1 : 0);
}

Value Eval(const Node& node, const Expression::Context& context);

Value Aggregate(const Node& node, const Expression::Context& context) {
    const bool group =
        node.scope == Scope::Group || (node.scope == Scope::Default && context.groupByDefault);
    const int begin = group ? context.groupBegin : 0;
    const int end = group ? context.groupEnd : context.reportEnd;
    const auto key = std::make_tuple(static_cast<const void*>(&node), begin, end);
    if (context.cache) {
        const auto found = context.cache->find(key);
        if (found != context.cache->end())
            return found->second;
    }
    Expression::Context row = context;
    double sum = 0;
    int count = 0;
    Value best;
    for (int r = begin; r < end; ++r) {
        row.row = r;
        const Value value = Eval(*node.args[0], row);
        if (value.kind == Value::Null)
            continue;
        ++count;
        sum += value.ToNumber();
        if (best.kind == Value::Null ||
            Compare(node.op == Op::Min ? Binary::Lt : Binary::Gt, value, best).number != 0)
            best = value;
    }
    Value result;
    switch (node.op) {
    case Op::Sum:
        result = Value::FromNumber(sum);
        break;
    case Op::Count:
        result = Value::FromNumber(count);
        break;
    case Op::Avg:
        result = count ? Value::FromNumber(sum / count) : Value{};
        break;
    default:
        result = best;
        break;
    }
    if (context.cache)
        context.cache->emplace(key, result);
    return result;
}

Value Apply(Binary op, const Value& a, const Value& b) {
    switch (op) {
    case Binary::And:
        return Value::FromNumber(a.ToBool() && b.ToBool() ? 1 : 0);
    case Binary::Or:
        return Value::FromNumber(a.ToBool() || b.ToBool() ? 1 : 0);
    case Binary::Concat:
        return Value::FromText(a.ToText() + b.ToText());
    case Binary::Add:
        if (a.kind == Value::Text && b.kind == Value::Text)
            return Value::FromText(a.text + b.text);
        return Value::FromNumber(a.ToNumber() + b.ToNumber());
    case Binary::Sub:
        return Value::FromNumber(a.ToNumber() - b.ToNumber());
    case Binary::Mul:
        return Value::FromNumber(a.ToNumber() * b.ToNumber());
    case Binary::Div: {
        const double divisor = b.ToNumber();
        // A division by zero (an empty total) shows as nothing rather than stopping the report.
        return divisor == 0 ? Value{} : Value::FromNumber(a.ToNumber() / divisor);
    }
    default:
        return Compare(op, a, b);
    }
}

QString Text(const Node& node, int index, const Expression::Context& context) {
    return Eval(*node.args[index], context).ToText();
}

// The functions of text, and Val that reads a number out of one.
Value TextFunction(const Node& node, const Expression::Context& context) {
    const auto arg = [&](int i) { return Eval(*node.args[i], context); };
    switch (node.op) {
    case Op::Mid: {
        const QString text = Text(node, 0, context);
        const int start = std::max(1, Whole(arg(1)));
        const int length = node.args.size() > 2 ? Whole(arg(2)) : int(text.size());
        if (start > text.size() || length <= 0)
            return Value::FromText({});
        return Value::FromText(text.mid(start - 1, length));
    }
    case Op::Left:
        return Value::FromText(Text(node, 0, context).left(std::max(0, Whole(arg(1)))));
    case Op::Right:
        return Value::FromText(Text(node, 0, context).right(std::max(0, Whole(arg(1)))));
    case Op::Len:
        return Value::FromNumber(double(Text(node, 0, context).size()));
    case Op::Trim:
        return Value::FromText(Text(node, 0, context).trimmed());
    case Op::LTrim: {
        const QString text = Text(node, 0, context);
        int i = 0;
        while (i < text.size() && text[i].isSpace())
            ++i;
        return Value::FromText(text.mid(i));
    }
    case Op::RTrim: {
        QString text = Text(node, 0, context);
        while (!text.isEmpty() && text.back().isSpace())
            text.chop(1);
        return Value::FromText(text);
    }
    case Op::UCase:
        return Value::FromText(Text(node, 0, context).toUpper());
    case Op::LCase:
        return Value::FromText(Text(node, 0, context).toLower());
    case Op::Val:
        return Value::FromNumber(Utility::Val(Text(node, 0, context)));
    case Op::Url:
        return Value::FromText(
            QString::fromLatin1(QUrl::toPercentEncoding(Text(node, 0, context))));
    default:
        return {};
    }
}

Value Eval(const Node& node, const Expression::Context& context) {
    const auto arg = [&](int i) { return Eval(*node.args[i], context); };
    switch (node.op) {
    case Op::Literal:
        return node.value;
    case Op::Column:
        if (!context.rows || context.row < 0)
            return {};
        return Value::FromVariant(context.rows->Value(node.column, context.row));
    case Op::HeaderColumn:
        return context.header ? Value::FromVariant(context.header->Value(node.column, 0)) : Value{};
    case Op::Page:
        return Value::FromNumber(context.page);
    case Op::Pages:
        return Value::FromNumber(context.pages);
    case Op::Neg:
        return Value::FromNumber(-arg(0).ToNumber());
    case Op::Not:
        return Value::FromNumber(arg(0).ToBool() ? 0 : 1);
    case Op::Chain: {
        Value value = arg(0);
        for (size_t i = 1; i < node.args.size(); ++i)
            value = Apply(node.ops[i - 1], value, arg(int(i)));
        return value;
    }
    case Op::Iif:
        return arg(0).ToBool() ? arg(1) : arg(2);
    case Op::Mid:
    case Op::Left:
    case Op::Right:
    case Op::Len:
    case Op::Trim:
    case Op::LTrim:
    case Op::RTrim:
    case Op::UCase:
    case Op::LCase:
    case Op::Val:
    case Op::Url:
        return TextFunction(node, context);
    case Op::Format: {
        const Value value = arg(0);
        if (value.IsNull())
            return Value::FromText({});
        return Value::FromText(
            Expression::FormatNumber(value.ToNumber(), Text(node, 1, context), context.locale));
    }
    case Op::Sum:
    case Op::Count:
    case Op::Min:
    case Op::Max:
    case Op::Avg:
        return Aggregate(node, context);
    }
    return {};
}

} // namespace

Expression::Value Expression::Value::FromVariant(const QVariant& value) {
    if (!value.isValid() || value.isNull())
        return {};
    switch (value.typeId()) {
    case QMetaType::Bool:
        return FromNumber(value.toBool() ? 1 : 0);
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Double:
    case QMetaType::Float:
        return FromNumber(value.toDouble());
    default:
        return FromText(value.toString());
    }
}

bool Expression::Value::IsNull() const {
    return kind == Null || (kind == Number && !std::isfinite(number));
}

QString Expression::Value::ToText() const {
    if (IsNull())
        return {};
    switch (kind) {
    case Number:
        return Utility::NumberText(number);
    case Text:
        return text;
    case Null:
        break;
    }
    return {};
}

double Expression::Value::ToNumber() const {
    switch (kind) {
    case Number:
        return number;
    case Text:
        return Utility::Val(text.trimmed().replace(',', '.'));
    case Null:
        break;
    }
    return 0;
}

bool Expression::Value::IsNumeric() const {
    if (kind == Number)
        return !IsNull();
    bool ok = false;
    if (kind == Text)
        text.trimmed().replace(',', '.').toDouble(&ok);
    return ok;
}

bool Expression::Value::ToBool() const {
    if (kind == Text && !IsNumeric())
        return text.trimmed().compare("true", Qt::CaseInsensitive) == 0;
    return !IsNull() && ToNumber() != 0;
}

Expression::Expression() = default;
Expression::~Expression() = default;
Expression::Expression(Expression&&) noexcept = default;
Expression& Expression::operator=(Expression&&) noexcept = default;

Expression Expression::Parse(const QString& text, const QStringList* columns,
                             const QStringList* headerColumns) {
    Parser parser(text, columns, headerColumns);
    Expression expression;
    expression.m_root = parser.ParseAll();
    expression.m_usesPages = parser.UsesPages();
    return expression;
}

Expression::Value Expression::Evaluate(const Context& context) const {
    return m_root ? Eval(*m_root, context) : Value{};
}

QString Expression::FormatNumber(double value, const QString& pattern, const QLocale& locale) {
    int first = -1, last = -1;
    for (int i = 0; i < pattern.size(); ++i)
        if (QString("0#,.").contains(pattern[i])) {
            if (first < 0)
                first = i;
            last = i;
        }
    if (first < 0)
        return pattern;
    const QString prefix = pattern.left(first);
    const QString suffix = pattern.mid(last + 1);
    const QString digits = pattern.mid(first, last - first + 1);
    if (suffix.contains('%') || prefix.contains('%'))
        value *= 100;
    const int point = int(digits.indexOf('.'));
    const QString whole = point < 0 ? digits : digits.left(point);
    const QString fraction = point < 0 ? QString() : digits.mid(point + 1);
    const int decimals = int(fraction.size());
    const int minDecimals = int(fraction.count('0'));
    const int minWhole = int(whole.count('0'));

    const double rounded = Utility::RoundHalfAway(value, decimals);
    QString text = QString::number(std::fabs(rounded), 'f', decimals);
    QString integer = text.section('.', 0, 0);
    QString decimalsText = text.section('.', 1);
    while (decimalsText.size() > minDecimals && decimalsText.endsWith('0'))
        decimalsText.chop(1);
    if (integer == "0" && minWhole == 0)
        integer.clear();
    while (integer.size() < minWhole)
        integer.prepend('0');
    if (whole.contains(',')) {
        for (int i = int(integer.size()) - 3; i > 0; i -= 3)
            integer.insert(i, locale.groupSeparator());
    }
    QString result = integer;
    if (!decimalsText.isEmpty())
        result += locale.decimalPoint() + decimalsText;
    if (result.isEmpty())
        result = "0";
    if (rounded < 0)
        result.prepend('-');
    return prefix + result + suffix;
}
