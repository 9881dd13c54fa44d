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

// The date text the invoice layouts are given for a column d.
QString DateForm(const QString& d) {
    const QString e = "iif(mid(" + d + ",7,2) & \"/\" & mid(" + d + ",5,2) & \"/\" & mid(" + d +
                      ",1,4)=\"//\",\"\",mid(" + d + ",7,2) & \"/\" & mid(" + d +
                      ",5,2) & \"/\" & mid(" + d + ",1,4))";
    return "iif(" + e + "=\"//0\",\"\"," + e + ")";
}

} // namespace

TEST(Expression, DateAndYesNoFormsOfTheInvoiceLayouts) {
    EXPECT_EQ(Eval(DateForm("dFactura"), 0), "05/03/2026");
    EXPECT_EQ(Eval(DateForm("dFactura"), 1), "");
    EXPECT_EQ(Eval(DateForm("dFactura"), 2), "");
    EXPECT_EQ(Eval(R"(iif(bPagado,"Sí", "No"))", 0), "Sí");
    EXPECT_EQ(Eval(R"(iif(bPagado,"Sí", "No"))", 1), "No");
    EXPECT_EQ(Eval(R"(iif(bPagado,"Sí", "No"))", 2), "No");
}

TEST(Expression, FunctionsOperatorsAndConversions) {
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
        try {
            Expression::Parse(text, &Columns);
            ADD_FAILURE() << "accepted " << text.toStdString();
        } catch (const Expression::Error& error) {
            EXPECT_EQ(error.position, position) << text.toStdString();
            EXPECT_FALSE(error.message.isEmpty());
        }
    }
}

TEST_F(ReportTest, MalformedFieldNamesFieldAndPosition) {
    vsr.Load(Definition(R"(<Report name="R"><Section kind="Detail" height="300">
        <Field name="Importe" text="format(nSaldo, &quot;0.00&quot;" calculated="true"/>
        </Section></Report>)"),
             "R");
    vsr.SetRecordSource("SELECT nSaldo FROM Clientes");
    QString description;
    EXPECT_EQ(ErrorOf([&] { vsr.Layout(); }, &description), ErrorNumber::BadReport);
    EXPECT_TRUE(description.contains("\"Importe\"")) << description.toStdString();
    EXPECT_TRUE(description.contains("posición 22")) << description.toStdString();
    EXPECT_FALSE(vsr.Busy());
}

// Texts that once took the program down: deep nesting recursed until the stack ran out, a long
// sum was evaluated one frame per operator, NaN reached an int conversion.
TEST(Expression, DepthAndLengthHaveLimitsAndLongChainsStayFlat) {
    const auto refused = [](const QString& text) {
        try {
            Expression::Parse(text, &Columns);
        } catch (const Expression::Error& error) {
            return error.message;
        }
        return QString();
    };
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
    EXPECT_EQ(Eval("100000000 * 100000000 * 100000000 * 100000000 * 100000000 * 100000000 * "
                   "100000000 * 100000000 * 100000000 * 100000000 * 100000000 * 100000000 * "
                   "100000000 * 100000000 * 100000000 * 100000000 * 100000000 * 100000000 * "
                   "100000000 * 100000000 * 100000000 * 100000000 * 100000000 * 100000000 * "
                   "100000000 * 100000000 * 100000000 * 100000000 * 100000000 * 100000000 * "
                   "100000000 * 100000000 * 100000000 * 100000000 * 100000000 * 100000000 * "
                   "100000000 * 100000000 * 100000000 * 100000000"),
              "");
    const QString huge =
        "(" + QString("9").repeated(300) + " * " + QString("9").repeated(300) + ")";
    EXPECT_EQ(Eval(huge + " - " + huge), "");
    EXPECT_EQ(Eval("mid(\"abc\", " + huge + " - " + huge + ", 2)"), "ab");
    EXPECT_EQ(Eval("format(" + huge + ", \"0.00\")"), "");
}

TEST(Expression, TotalsOfPageOrPagesAreRefused) {
    for (const QString text :
         {"Sum(Pages, report)", "Max(Page, report)", "Count(Page)", "Sum(nSaldo + Pages)"}) {
        try {
            Expression::Parse(text, &Columns);
            ADD_FAILURE() << "accepted " << text.toStdString();
        } catch (const Expression::Error& error) {
            EXPECT_TRUE(error.message.contains("Page")) << error.message.toStdString();
        }
    }
    EXPECT_TRUE(Expression::Parse("Sum(nSaldo) & \" / \" & Pages", &Columns).UsesPages());
    EXPECT_FALSE(Expression::Parse("Sum(nSaldo)", &Columns).UsesPages());
}

TEST_F(ReportTest, AnExpressionTooDeepNamesItsField) {
    AddClients(2);
    vsr.Load(Definition(QString(R"(<Report name="R"><Section kind="ReportFooter" height="300">
        <Field name="Total" text="%1" calculated="true"/></Section></Report>)")
                            .arg(QString(3000, '(') + "nSaldo" + QString(3000, ')'))),
             "R");
    vsr.SetRecordSource("SELECT nSaldo FROM Clientes");
    QString description;
    EXPECT_EQ(ErrorOf([&] { vsr.Layout(); }, &description), ErrorNumber::BadReport);
    EXPECT_TRUE(description.contains("\"Total\"")) << description.toStdString();
}
