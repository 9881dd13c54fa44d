// Dates between their stored and shown forms, date arithmetic and text pieces.

#include "ErrorOf.h"
#include "QtPrinting.h"
#include "platform/data/Rows.h"
#include "platform/util/TvError.h"
#include "platform/util/Utility.h"

#include <QDate>
#include <gtest/gtest.h>

TEST(FormatDate, ConvertsBetweenWholeNumberAndDisplay) {
    EXPECT_EQ(U().FormatDate(2, 20260305).toString(), "05/03/2026");
    EXPECT_EQ(U().FormatDate(2, QStringLiteral("20260305")).toString(), "05/03/2026");
    EXPECT_EQ(U().FormatDate(2, 20260305.0).toString(), "05/03/2026");
    // Written digit by digit; beside the calendar's own text for the years at the edges.
    for (const QDate day : {QDate(1, 1, 1), QDate(999, 12, 31), QDate(2026, 10, 9),
                            QDate(9999, 12, 31), QDate(10000, 1, 2), QDate(-44, 3, 15)})
        EXPECT_EQ(Utility::DayText(day, u'-'), day.toString("dd-MM-yyyy")) << day.year();
    const QVariant noDates[] = {0,        QVariant(), QStringLiteral("abc"),
                                20260230, 2026030,    QStringLiteral("")};
    for (const QVariant& v : noDates)
        EXPECT_EQ(U().FormatDate(2, v).toString(), "") << v.toString().toStdString();
    QStringList stored;
    for (const char* shown : {"05/03/2026", "5/3/2026", "20260305", "31/02/2026", "05/03/26"})
        stored << U().FormatDate(3, QString(shown)).toString();
    EXPECT_EQ(stored.join(' '), "20260305 20260305 20260305 0 0");
    EXPECT_EQ(U().Today(), QDate::currentDate().toString("yyyyMMdd"));
}

TEST(AddToDate, IsCalendarCorrectAndKeepsTheInputForm) {
    EXPECT_EQ(U().AddToDate("m", 1, QStringLiteral("31/01/2027")), "28/02/2027");
    EXPECT_EQ(U().AddToDate("m", 1, QStringLiteral("31/01/2028")), "29/02/2028");
    EXPECT_EQ(U().AddToDate("yyyy", 1, QStringLiteral("29/02/2028")), "28/02/2029");
    EXPECT_EQ(U().AddToDate("d", 1, QStringLiteral("31/12/2026")), "01/01/2027");
    EXPECT_EQ(U().AddToDate("d", -1, QStringLiteral("01/03/2028")), "29/02/2028");
    EXPECT_EQ(U().AddToDate("d", 365, QStringLiteral("01/03/2027")), "29/02/2028");
    EXPECT_EQ(U().AddToDate("ww", 2, QStringLiteral("25/12/2026")), "08/01/2027");
    EXPECT_EQ(U().AddToDate("M", -2, QStringLiteral("30/04/2026")), "28/02/2026");
    EXPECT_EQ(U().AddToDate("d", 1, 20261231), "20270101");
    // The vaccination rule: a cadence in days from a stored date, stored back.
    const QString next = U().AddToDate("d", 21, U().FormatDate(2, 20260215));
    EXPECT_EQ(U().FormatDate(3, next).toInt(), 20260308);

    EXPECT_EQ(ErrorOf([] { U().AddToDate("d", 1, QStringLiteral("31/02/2026")); }),
              ErrorNumber::TypeMismatch);
    EXPECT_EQ(ErrorOf([] { U().AddToDate("x", 1, 20260101); }), ErrorNumber::InvalidCall);
    EXPECT_EQ(ErrorOf([] { U().AddToDate("yyyy", 9000, 20260101); }), ErrorNumber::Overflow);
}

TEST(Text, PiecesFittingAndLookup) {
    const QString line = QStringLiteral("admin:pw|20260305||7");
    QStringList pieces;
    for (int i = 0; i < 5; ++i)
        pieces << U().Piece(line, "|", i);
    EXPECT_EQ(pieces, QStringList({"admin:pw", "20260305", "", "7", ""}));
    EXPECT_EQ(U().Piece(U().Piece(line, "|", 0), ":", 1), "pw");

    EXPECT_EQ(U().FitText(10, " 2026/0001", true), " 2026/0001");
    EXPECT_EQ(U().FitText(10, " 123", true), "       123");
    EXPECT_EQ(U().FitText(6, " F-1", true), " F-1  ");
    EXPECT_EQ(U().FitText(5, "Pienso adulto", true), "Piens");
    EXPECT_EQ(U().FitText(5, "Pienso adulto", false), "Pienso adulto");
    EXPECT_EQ(U().FitText(10, "12345678.90", true), "12345678.90");

    const Rows rows({"sdato", "svalor"}, {{"sEmailPwd", "x"}, {"sNombreSucursal", "Centro"}});
    EXPECT_EQ(U().FindInArray(rows, "sNombreSucursal"), 1);
    EXPECT_EQ(U().FindInArray(rows, "sEmailSvr"), -1);
    EXPECT_EQ(U().FindInArray(Rows(), "x"), -1);
}
