// SQL literals and values: rounding, decimals and what is typed coming back unchanged.

#include "QtPrinting.h"
#include "platform/util/TvError.h"
#include "platform/util/Utility.h"

#include <QDate>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <gtest/gtest.h>

// Values whose binary form lies just below or above the decimal the user typed.
TEST(SqlValue, RoundsTheDecimalValueHalfAwayFromZero) {
    const struct {
        double value;
        const char* twoDecimals;
    } cases[] = {
        {2.675, "2.68"},
        {1.005, "1.01"},
        {-1.005, "-1.01"},
        {-0.005, "-0.01"},
        {0.0049999, "0.00"},
        {-0.0049, "0.00"},
        {-0.0, "0.00"},
        {0.1 + 0.2, "0.30"},
        {1e15 + 0.5, "1000000000000000.50"},
        {123456789.125, "123456789.13"},
        {-99999.995, "-100000.00"},
        {1e20, "100000000000000000000.00"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(U().SqlValue(c.value, 2, true), c.twoDecimals) << c.value;
        EXPECT_EQ(U().SqlValue(c.value, 2, false), c.twoDecimals) << c.value;
    }
    EXPECT_DOUBLE_EQ(Utility::RoundHalfAway(2.675, 2), 2.68);
    EXPECT_DOUBLE_EQ(Utility::RoundHalfAway(-2.5, 0), -3);
    EXPECT_DOUBLE_EQ(U().SqlNumber(QStringLiteral("1,005"), 2), 1.01);
}

TEST(SqlValue, DecimalsZeroKeepsTheValuesOwnDecimals) {
    EXPECT_EQ(U().SqlValue(6.3, 0, true), "6.3");
    EXPECT_EQ(U().SqlValue(30.0, 0, false), "30");
    EXPECT_EQ(U().SqlValue(-0.5, 0, true), "-0.5");
    EXPECT_EQ(U().SqlValue(0.1 + 0.2, 0, true), "0.3");
    EXPECT_EQ(U().SqlValue(qlonglong(9007199254740993LL), 0, true), "9007199254740993");
}

TEST(SqlValue, ReadsNumbersBackFromTypedText) {
    QStringList got;
    for (const QVariant& typed : {QVariant("12,5"), QVariant(" 7"), QVariant("1.234,56"),
                                  QVariant(""), QVariant("12abc"), QVariant()})
        got << U().SqlValue(typed, 0, false);
    got << U().SqlValue(QStringLiteral("abc"), 2, false)
        << U().SqlValue(QVariant(QMetaType(QMetaType::Double)), 2, false);
    EXPECT_EQ(got.join(' '), "12.5 7 1234.56 0 0 0 0.00 0.00");
    EXPECT_DOUBLE_EQ(U().SqlNumber(QStringLiteral("12,5")), 12.5);
}

TEST(SqlValue, WritesLiteralsByTheValuesType) {
    QStringList got;
    for (const QVariant& value :
         {QVariant("O'Brien"), QVariant(), QVariant(QMetaType(QMetaType::QString)), QVariant(true),
          QVariant(QDate(2026, 3, 5)), QVariant(42)})
        got << U().SqlValue(value, 0, true);
    got << U().SqlValue(QStringLiteral("12"), 2, true) << U().SqlValue(QVariant(), 2, true)
        << U().SqlValue(42, 2, true);
    EXPECT_EQ(got.join(' '), "'O''Brien' NULL NULL 1 20260305 42 '12' NULL 42.00");
}

// What a person types must come back from the database unchanged, whatever it holds.
TEST(SqlValue, HostileTextsSurviveARealDatabase) {
    QTemporaryDir dir;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "quoting");
        db.setDatabaseName(dir.filePath(QStringLiteral("q.db")));
        ASSERT_TRUE(db.open());
        QSqlQuery query(db);
        ASSERT_TRUE(query.exec(QStringLiteral("CREATE TABLE t (s TEXT)")));
        const QString texts[] = {QStringLiteral("O'Brien"), QStringLiteral("x'); DROP TABLE t; --"),
                                 QStringLiteral("''"), QStringLiteral("back\\slash \"dq\" ñ €")};
        for (const QString& text : texts) {
            ASSERT_TRUE(query.exec("INSERT INTO t VALUES (" + U().SqlValue(text, 0, true) + ")"));
            ASSERT_TRUE(query.exec("SELECT count(*) FROM t WHERE s=" + Utility::Quote(text)));
            ASSERT_TRUE(query.next());
            EXPECT_EQ(query.value(0).toInt(), 1) << text.toStdString();
        }
    }
    QSqlDatabase::removeDatabase("quoting");
}

TEST(Val, TakesTheLeadingNumber) {
    QStringList got;
    for (const char* text : {"12abc", " 3.5x", "1,5", "", "-2", "1e3", "1e", "1.2.3"})
        got << QString::number(Utility::Val(text));
    EXPECT_EQ(got.join(' '), "12 3.5 1 0 -2 1000 1 1.2");
}

TEST(ToInt, RoundsTiesToEvenAndRefusesOverflow) {
    QStringList got;
    for (double value : {2.5, 3.5, -2.5, 2147483647.4})
        got << QString::number(Utility::ToInt32(value));
    EXPECT_EQ(got.join(' ') + " " + QString::number(Utility::ToInt16(-32768.4)),
              "2 4 -2 2147483647 -32768");
    const double overflowing[] = {2147483647.5, -2147483649.0, 1e300, std::nan("")};
    for (double value : overflowing) {
        try {
            Utility::ToInt32(value);
            ADD_FAILURE() << value;
        } catch (const TvError& e) {
            EXPECT_EQ(e.Number(), ErrorNumber::Overflow);
        }
    }
    EXPECT_THROW(Utility::ToInt16(32767.5), TvError);
}
