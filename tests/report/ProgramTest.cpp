// tvReport writing by the output's extension and failing cleanly.

#include "ReportFixture.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>

// tvReport, next to this test program when it has been built.
TEST_F(ReportTest, TvReportWritesByExtensionAndFailsCleanly) {
    const QString program = QCoreApplication::applicationDirPath() + "/tvReport";
    if (!QFileInfo(program).isExecutable())
        GTEST_SKIP() << "tvReport not built";
    AddClients(60);
    QImage logo(16, 16, QImage::Format_RGB32);
    logo.fill(Qt::darkGreen);
    ASSERT_TRUE(logo.save(Path("logo.png")));
    QFile ini(Path("Tavelo.ini"));
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write("[Database]\nDataPath=.\n");
    ini.close();
    // The exit status and output of the program on the example's client list; its errors go to
    // errors.
    QString errors;
    const auto run = [&](const QStringList& extra) {
        QProcess process;
        process.start(program, QStringList{"--ini", Path("Tavelo.ini"), "--file", ExampleFile(),
                                           "--report", "Listado"} +
                                   extra);
        process.waitForFinished(60000);
        errors = QString::fromUtf8(process.readAllStandardError());
        return std::make_pair(process.exitCode(),
                              QString::fromUtf8(process.readAllStandardOutput()));
    };

    EXPECT_EQ(run({"--sql", "SELECT 1|SELECT * FROM Clientes WHERE nSaldo < 30 ORDER BY sCliente",
                   "--labels", "Titulo|lblSaldo|Nada", "--values",
                   "Deudores de O'Brien|" + Path("logo.png") + "|x", "--out", Path("d.htm")}),
              std::make_pair(0, QString("pages: 1\n")));
    QFile text(Path("d.htm"));
    ASSERT_TRUE(text.open(QIODevice::ReadOnly));
    const QString written = QString::fromUtf8(text.readAll());
    EXPECT_TRUE(written.contains(">Deudores de O'Brien<"));
    EXPECT_TRUE(written.contains(">30 clientes en total<"));
    EXPECT_TRUE(written.contains("src=\"data:image/png;base64,"));

    EXPECT_EQ(run({"--out", Path("l.pdf")}), std::make_pair(0, QString("pages: 2\n")));
    EXPECT_TRUE(
        RunProgram("pdfinfo", {Path("l.pdf")}).contains(QRegularExpression("Pages:\\s+2\\n")));

    EXPECT_NE(run({"--sql", "SELECT nada FROM Clientes", "--out", Path("x.pdf")}).first, 0);
    EXPECT_NE(run({"--out", Path("x.doc")}).first, 0);
    EXPECT_FALSE(QFile::exists(Path("x.pdf")) || QFile::exists(Path("x.doc")));

    // A data source only reads: a write is refused and nothing is committed.
    const auto failure = [&](const QString& sql) {
        EXPECT_EQ(run({"--sql", sql, "--out", Path("w.txt")}).first, 1) << sql.toStdString();
        return errors;
    };
    EXPECT_TRUE(failure("INSERT INTO Clientes (sCliente) VALUES ('Intruso')")
                    .contains("una sola sentencia SELECT"));
    const QString several = failure("SELECT 1; SELECT 2");
    EXPECT_FALSE(several.contains("not an error")) << several.toStdString();
    EXPECT_TRUE(
        failure("WITH x AS (SELECT 1) DELETE FROM Clientes").contains("solo se puede leer"));
    EXPECT_EQ(DataAccess::instance().GetRows("SELECT count(*) FROM Clientes").Value(0, 0).toInt(),
              60);

    // The ini must name its data folder, as the module requires.
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ini.write("[Database]\nDataPath=\n");
    ini.close();
    EXPECT_EQ(run({"--out", Path("sin-carpeta.pdf")}).first, 1);
    EXPECT_TRUE(errors.contains("no indica la carpeta de datos")) << errors.toStdString();
}
