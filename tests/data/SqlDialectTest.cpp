// The suite's SQL translated and taken apart without touching literals, names or comments.

#include "platform/data/SqlDialect.h"

#include <gtest/gtest.h>

TEST(SqlDialect, TranslatesTheSuiteDialect) {
    EXPECT_EQ(SqlDialect::Translate(
                  "SELECT a FROM t WHERE (nIdFactura=0 OR ISNULL(FacturasItems.nIdFactura) )"),
              "SELECT a FROM t WHERE (nIdFactura=0 OR (FacturasItems.nIdFactura IS NULL) )");
    // Nested parentheses and an ISNULL inside an ISNULL.
    EXPECT_EQ(SqlDialect::Translate("isnull ( coalesce((a+b), ISNULL(c)) ) AND x"),
              "(coalesce((a+b), (c IS NULL)) IS NULL) AND x");
    EXPECT_EQ(SqlDialect::Translate("SELECT x AS [Producto Servicio], y AS [Conclusión] FROM t"),
              "SELECT x AS \"Producto Servicio\", y AS \"Conclusión\" FROM t");
    EXPECT_EQ(SqlDialect::Translate("WHERE bActivo=true AND b=True AND c=FALSE AND d=false"),
              "WHERE bActivo=1 AND b=1 AND c=0 AND d=0");
    // Whole words only.
    EXPECT_EQ(SqlDialect::Translate("SELECT bTrue, sTrueName, true_x, ISNULLX(a) FROM t"),
              "SELECT bTrue, sTrueName, true_x, ISNULLX(a) FROM t");
}

TEST(SqlDialect, LeavesLiteralsNamesAndCommentsAlone) {
    const QString untouched[] = {
        "WHERE s='O''Brien true [x] ISNULL(y)' AND t=''",
        "WHERE s='it''s' OR s='a '' b ''''' OR \"true\"=1",
        "SELECT 1 -- true [x]\nFROM t",
        "WHERE s='unterminated true",
    };
    for (const QString& sql : untouched)
        EXPECT_EQ(SqlDialect::Translate(sql), sql);
    EXPECT_EQ(SqlDialect::Translate("WHERE s='[a]' AND [a]=true AND s='x'"),
              "WHERE s='[a]' AND \"a\"=1 AND s='x'");
    // Translating twice changes nothing, so translated text may be handed back in.
    for (const QString sql : {"SELECT [a] FROM t WHERE ISNULL(b) AND c=True",
                              "WHERE isnull /* x */ ISNULL(b) AND ISNULL(c -- note\n)"}) {
        const QString once = SqlDialect::Translate(sql);
        EXPECT_EQ(SqlDialect::Translate(once), once) << sql.toStdString();
    }
    // A line comment inside ISNULL( ) keeps the closing parenthesis out of it.
    EXPECT_EQ(SqlDialect::Translate("ISNULL(c -- note\n)"), "(c -- note\n IS NULL)");
}

TEST(SqlDialect, FindsTheTopLevelWhereCondition) {
    const QString lines = "SELECT nUnidades AS unidades,nPvd AS precio FROM ProvFacturasItems "
                          "WHERE nIdFactura=7 ORDER BY nPorcIpto";
    EXPECT_EQ(SqlDialect::WhereCondition(lines), "nIdFactura=7");
    EXPECT_EQ(SqlDialect::WhereCondition("SELECT * FROM t WHERE a=1 GROUP BY b HAVING c>1"), "a=1");
    EXPECT_EQ(SqlDialect::WhereCondition("SELECT * FROM (SELECT * FROM u WHERE x=1) v "
                                         "WHERE s='a WHERE b ORDER BY c' AND (d IN (SELECT e "
                                         "FROM f WHERE g=1 ORDER BY e))"),
              "s='a WHERE b ORDER BY c' AND (d IN (SELECT e FROM f WHERE g=1 ORDER BY e))");
    EXPECT_EQ(SqlDialect::WhereCondition("SELECT * FROM (SELECT * FROM u WHERE x=1) v"), "");
    EXPECT_EQ(SqlDialect::WhereCondition("SELECT * FROM t WHERE  a = 'order' "), "a = 'order'");
}

TEST(SqlDialect, SplitsListsAndScriptsOutsideLiterals) {
    EXPECT_EQ(SqlDialect::SplitTopLevel("1, 'x, y' ,f(2,3),'it''s, ok'"),
              QStringList({"1", "'x, y'", "f(2,3)", "'it''s, ok'"}));
    EXPECT_TRUE(SqlDialect::SplitTopLevel("  ").isEmpty());
    const QString script = "-- schema\nCREATE TABLE a (s TEXT DEFAULT ';');\n"
                           "INSERT INTO a VALUES ('x;\ny'); -- two lines\n\n"
                           "INSERT INTO a VALUES ('z'); INSERT INTO a VALUES ('w')\n";
    EXPECT_EQ(SqlDialect::SplitScript(script),
              QStringList({"CREATE TABLE a (s TEXT DEFAULT ';')", "INSERT INTO a VALUES ('x;\ny')",
                           "INSERT INTO a VALUES ('z'); INSERT INTO a VALUES ('w')"}));
}

TEST(SqlDialect, TellsASingleQueryFromAnythingElse) {
    for (const char* query :
         {"SELECT 1", "  with x AS (SELECT 1) SELECT * FROM x;",
          "(SELECT 1) UNION (SELECT 2) -- fin", "VALUES (1)", "SELECT ';' AS [a;b] /* ; */ ; "})
        EXPECT_TRUE(SqlDialect::IsQuery(query)) << query;
    for (const char* other :
         {"", " -- nada", "DELETE FROM t", "SELECT 1; SELECT 2", "SELECT 1;\nDROP TABLE t",
          "PRAGMA query_only=0", "COMMIT", "ATTACH 'x' AS y", "selectx 1"})
        EXPECT_FALSE(SqlDialect::IsQuery(other)) << other;
}
