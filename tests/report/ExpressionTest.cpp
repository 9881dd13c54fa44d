// Field expressions: operators, functions, aggregates and the refusals of bad ones.

#include "ReportFixture.h"

#include "platform/data/Rows.h"
#include "platform/report/Expression.h"

namespace {

const QStringList Columns = {"dFactura", "bPagado", "sCliente", "nSaldo", "sGrupo"};

// Rows: 20260305 / 1 / "O'Brien" / 1234.5 / "A"; 0 / 0 / "Ana" / -2 / "A"; NULLs / "B" 10.
Rows Sample() {
    return Rows(Columns, {{20260305, 1, "O'Brien", 1234.5, "A"},
                          {0, 0, "  Ana ", -2.0, "A"},
                          {QVariant(), QVariant(), QVariant(), 10.0, "B"}});
}

QString Eval(const QString& text, int row = 0, int groupBegin = 0, int groupEnd = 3) {
    static const Rows rows = Sample();
    const Expression expression = Expression::Parse(text, &Columns);
    Expression::Context context;
    context.rows = &rows;
    context.row = row;
    context.groupBegin = groupBegin;
    context.groupEnd = groupEnd;
    context.reportEnd = rows.RowCount();
    return expression.Evaluate(context).ToText();
}

// The error parsing text raises; position 0 and no message when it parses.
Expression::Error Refusal(const QString& text) {
    try {
        Expression::Parse(text, &Columns);
    } catch (const Expression::Error& error) {
        return error;
    }
    return {0, {}};
}

// The date text the invoice layouts are given for a column d.
QString DateForm(const QString& d) {
    const QString e = "iif(mid(" + d + ",7,2) & \"/\" & mid(" + d + ",5,2) & \"/\" & mid(" + d +
                      ",1,4)=\"//\",\"\",mid(" + d + ",7,2) & \"/\" & mid(" + d +
                      ",5,2) & \"/\" & mid(" + d + ",1,4))";
    return "iif(" + e + "=\"//0\",\"\"," + e + ")";
}

} // namespace

TEST(Expression, FunctionsOperatorsAndConversions) {
    // The date and yes/no forms of the invoice layouts, on a date, a 0 and a NULL.
    const QString yesNo = R"(iif(bPagado,"Sí", "No"))";
    for (int row = 0; row < 3; ++row)
        EXPECT_EQ(Eval(DateForm("dFactura"), row) + Eval(yesNo, row),
                  QStringList({"05/03/2026Sí", "No", "No"})[row])
            << row;
    const std::vector<std::pair<QString, QString>> cases = {
        {"mid(20260305,7,2)", "05"},
        {"mid(\"abc\",0,2) & mid(\"abc\",9,2) & mid(\"abc\",2)", "abbc"},
        {"left(sCliente,2) & right(sCliente,3) & len(sCliente)", "O'ien7"},
        {"\"[\" & trim(\" x \") & \"]\" & ucase(\"ñu\") & lcase(\"AB\")", "[x]ÑUab"},
        {"\"say \"\"hi\"\"\"", "say \"hi\""},
        {"\"a\" & 1 + 2 * 3", "a7"},
        {"(1 + 2) * 3 - 10 / 4", "6.5"},
        {"format(nSaldo, \"0.00\") & \" \" & format(nSaldo, \"#,##0.00\")", "1234.50 1,234.50"},
        {"format(2.675, \"0.00\") & format(-0.004, \"0.00\") & format(0.5, \"0%\")", "2.680.0050%"},
        {"val(\"12abc\") + val(\"x\")", "12"},
        {"iif(nSaldo > 1000 And Not bPagado = 0 Or 1 = 0, \"y\", \"n\")", "y"},
        {"iif(\"abc\" < \"abd\" And 10 >= 9 And 2 <> 3 And 2 <= 2, \"y\", \"n\")", "y"},
        {"1 / 0", ""},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(Eval(text), expected) << text.toStdString();
    // NULL reads as "" and 0; names are case-insensitive.
    EXPECT_EQ(Eval("\"[\" & SCLIENTE & \"]\" & (NSALDO + dFactura)", 2), "[]10");
}

TEST(Expression, AggregatesCoverTheirScope) {
    // Group scope: rows 0..1 (group "A"); report scope: all three rows.
    EXPECT_EQ(Eval("Sum(nSaldo, \"group\")", 0, 0, 2), "1232.5");
    EXPECT_EQ(Eval("Sum(nSaldo, report)", 0, 0, 2), "1242.5");
    EXPECT_EQ(Eval("Count(*, group) & \"/\" & Count(sCliente, report)", 0, 0, 2), "2/2");
    EXPECT_EQ(Eval("Min(nSaldo, report) & \" \" & Max(nSaldo, report)"), "-2 1234.5");
    EXPECT_EQ(Eval("Avg(nSaldo, group)", 0, 2, 3), "10");
}

TEST(Expression, MalformedTextsSayWhere) {
    const std::vector<std::pair<QString, int>> cases = {
        {"iif(bPagado,,1)", 13},
        {"mid(sCliente,1", 15},
        {"\"open", 1},
        {"1 +", 4},
        {"nada & 1", 1},
        {"left(sCliente)", 1},
        {"sum(nSaldo, pagina)", 13},
        {"2 3", 3},
        {"1 $ 2", 3},
    };
    for (const auto& [text, position] : cases) {
        const Expression::Error error = Refusal(text);
        EXPECT_EQ(error.position, position) << text.toStdString();
        EXPECT_FALSE(error.message.isEmpty()) << text.toStdString();
    }
}

// Texts that once took the program down: deep nesting recursed until the stack ran out, a long
// sum was evaluated one frame per operator, NaN reached an int conversion.
TEST(Expression, DepthAndLengthHaveLimitsAndLongChainsStayFlat) {
    const auto refused = [](const QString& text) { return Refusal(text).message; };
    EXPECT_TRUE(refused(QString(3000, '(') + "1" + QString(3000, ')')).contains("anida más de 64"));
    EXPECT_TRUE(refused(QString("not ").repeated(100) + "1").contains("anida"));
    EXPECT_TRUE(refused(QString("-").repeated(100) + "1").contains("anida"));
    EXPECT_TRUE(refused("1" + QString("+1").repeated(30000)).contains("más de 10000 caracteres"));
    EXPECT_EQ(Eval(QString(60, '(') + "2" + QString(60, ')')), "2");

    // The longest sum the limit lets through, and chains of every level, left to right.
    EXPECT_EQ(Eval("1" + QString("+1").repeated(4999)), "5000");
    EXPECT_EQ(Eval("100" + QString("-1").repeated(4998)), "-4898");
    EXPECT_EQ(Eval("\"a\"" + QString(" & \"b\"").repeated(1600)).size(), 1601);
    EXPECT_EQ(Eval("1 = 1 = 1 And 2 > 1 Or 0"), "1");
    EXPECT_EQ(Eval("20 / 2 / 5 * 3"), "6");
}

TEST(Expression, NumbersThatAreNotFiniteAreNull) {
    // 1e308 * 10 overflows; inf - inf is NaN: both show as nothing, like a division by zero.
    EXPECT_EQ(Eval("100000000" + QString(" * 100000000").repeated(39)), "");
    const QString huge =
        "(" + QString("9").repeated(300) + " * " + QString("9").repeated(300) + ")";
    EXPECT_EQ(Eval(huge + " - " + huge), "");
    EXPECT_EQ(Eval("mid(\"abc\", " + huge + " - " + huge + ", 2)"), "ab");
    EXPECT_EQ(Eval("format(" + huge + ", \"0.00\")"), "");
}

TEST(Expression, TotalsOfPageOrPagesAreRefused) {
    for (const QString text :
         {"Sum(Pages, report)", "Max(Page, report)", "Count(Page)", "Sum(nSaldo + Pages)"})
        EXPECT_TRUE(Refusal(text).message.contains("Page")) << text.toStdString();
    EXPECT_TRUE(Expression::Parse("Sum(nSaldo) & \" / \" & Pages", &Columns).UsesPages());
    EXPECT_FALSE(Expression::Parse("Sum(nSaldo)", &Columns).UsesPages());
}

// A field's expression is parsed when the report is laid out: the error names the field and where
// its text went wrong, in the detail and in a footer alike.
TEST_F(ReportTest, AFieldsBadExpressionNamesTheFieldAndWhere) {
    AddClients(2);
    const std::vector<std::tuple<QString, QString, QString>> cases = {
        {"Detail", "format(nSaldo, &quot;0.00&quot;", "posición 22"},
        {"ReportFooter", QString(3000, '(') + "nSaldo" + QString(3000, ')'), "anida"},
    };
    for (const auto& [section, text, where] : cases) {
        vsr.Load(Definition(QString(R"(<Report name="R"><Section kind="%1" height="300">
            <Field name="Importe" text="%2" calculated="true"/></Section></Report>)")
                                .arg(section, text)),
                 "R");
        vsr.SetRecordSource("SELECT nSaldo FROM Clientes");
        QString description;
        EXPECT_EQ(ErrorOf([&] { vsr.Layout(); }, &description), ErrorNumber::BadReport);
        EXPECT_TRUE(description.contains("\"Importe\"") && description.contains(where))
            << description.left(200).toStdString();
        EXPECT_FALSE(vsr.Busy());
    }
}
