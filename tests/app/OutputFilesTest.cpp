// Every program that writes a file, run as a user would: an existing file is replaced only with
// --force, a symbolic link never, and a disk that fills up on the way leaves the old file whole.
#include "TestSuite.h"
#include "support/QtPrinting.h"

#include "platform/data/DataAccess.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

struct Program {
    const char* name;
    QString tool;
    QStringList arguments; // "@" is the target, "@dir" its folder
    QString target;        // below the test's output folder
};

struct Outcome {
    bool failed;
    QString said; // the expected part of what the program said, or all it said
    QString content;
    bool operator==(const Outcome&) const = default;
};

void PrintTo(const Outcome& o, std::ostream* out) {
    *out << (o.failed ? "failed: " : "done: ") << o.said.toStdString()
         << " / file: " << o.content.toStdString();
}

QString Read(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

void Write(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

class OutputFilesTest : public testing::Test {
protected:
    TestSuite suite;
    QString out = suite.Root() + "/salida";

    void SetUp() override {
        Db().Close();
        QDir().mkpath(out);
    }

    std::vector<Program> Programs() const {
        const QString ini = suite.IniPath();
        return {
            {"tvReport",
             "tvReport",
             {"--ini", ini, "--invoice", "7", "--layout", "Normal", "--out", "@"},
             "factura.pdf"},
            {"tvRegistro export", "tvRegistro", {"--ini", ini, "export", "@"}, "registro.csv"},
            {"tvRegistro --aeat",
             "tvRegistro",
             {"--ini", ini, "export", "--aeat", "@"},
             "aeat.xml"},
            {"tvRegistro --firmados",
             "tvRegistro",
             {"--ini", ini, "export", "--firmados", "@dir"},
             "firmados/registro-000001.xml"},
            {"tvLibros",
             "tvLibros",
             {"--ini", ini, "--desde", "01-01-2000", "--hasta", "31-12-2099", "--out", "@"},
             "libro.xlsx"},
            {"tvFacturae",
             "tvFacturae",
             {"--ini", ini, "--factura", "10", "--out", "@"},
             "factura.xml"},
            {"tvCaja",
             "tvCaja",
             {"--ini", ini, "informe", "--caja", "1", "--x", "--out", "@"},
             "caja.txt"},
        };
    }

    // The program's command line for target.
    static QStringList CommandLine(const Program& p, const QString& target, bool force) {
        QStringList line{qEnvironmentVariable("TV_BIN_DIR") + "/" + p.tool};
        for (const QString& a : p.arguments)
            line << (a == "@" ? target : a == "@dir" ? QFileInfo(target).path() : a);
        if (force)
            line << "--force";
        return line;
    }

    static std::pair<int, QString> Run(const QStringList& line) {
        QProcess process;
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(line.first(), line.mid(1));
        EXPECT_TRUE(process.waitForFinished(60000));
        return {process.exitCode(), QString::fromUtf8(process.readAll()).trimmed()};
    }

    static Outcome Observed(const std::pair<int, QString>& run, const QString& expected,
                            const QString& content) {
        return {run.first != 0, run.second.contains(expected) ? expected : run.second, content};
    }
};

// Without --force an existing file stays and the program says how to replace it; with --force
// it is replaced; a symbolic link is refused even with --force and the file it points to stays.
TEST_F(OutputFilesTest, AnExistingFileIsReplacedOnlyWithForceAndALinkNever) {
    for (const Program& p : Programs()) {
        SCOPED_TRACE(p.name);
        const QString target = out + "/" + p.target;
        QDir().mkpath(QFileInfo(target).path());
        Write(target, "antiguo");
        const QString exists = "El archivo " + target +
                               " ya existe: no se ha sustituido (añada --force para sustituirlo).";
        EXPECT_EQ(Observed(Run(CommandLine(p, target, false)), exists, Read(target)),
                  (Outcome{true, exists, "antiguo"}));
        const auto [status, said] = Run(CommandLine(p, target, true));
        EXPECT_EQ(status, 0) << said.toStdString();
        EXPECT_NE(Read(target), "antiguo");

        const QString pointed = out + "/apuntado";
        Write(pointed, "antiguo");
        QFile::remove(target);
        ASSERT_TRUE(QFile::link(pointed, target));
        const QString refusal = "El archivo " + target +
                                " es un enlace simbólico: no se escribe a través de él y no se ha "
                                "escrito nada.";
        EXPECT_EQ(Observed(Run(CommandLine(p, target, true)), refusal, Read(pointed)),
                  (Outcome{true, refusal, "antiguo"}));
        EXPECT_TRUE(QFileInfo(target).isSymLink());
        QFile::remove(target);
    }
}

// On a real small disk that is full, in a mount namespace of its own (unshare, which needs no
// root where user namespaces are allowed): the write fails, the old file is as it was, and no
// temporary file is left beside it.
TEST_F(OutputFilesTest, AFullDiskLeavesTheOldFileWhole) {
    const QString script = "d=$1; name=$2; shift 2; mount -t tmpfs -o size=64k tavelo \"$d\" || "
                           "exit 99; printf antiguo > \"$d/$name\"; head -c 1048576 /dev/zero > "
                           "\"$d/relleno\" 2>/dev/null; \"$@\"; s=$?; ls -A \"$d\" > "
                           "\"$d.lista\"; cat \"$d/$name\" > \"$d.despues\"; exit $s";
    int k = 0;
    for (const Program& p : Programs()) {
        SCOPED_TRACE(p.name);
        const QString name = QFileInfo(p.target).fileName();
        const QString disk = out + "/disco" + QString::number(++k);
        const QString target = disk + "/" + name;
        QDir().mkpath(disk);
        const auto run = Run(QStringList{"unshare", geteuid() == 0 ? "-m" : "-rm", "sh", "-c",
                                         script, "sh", disk, name} +
                             CommandLine(p, target, true));
        if (!QFile::exists(disk + ".lista"))
            GTEST_SKIP() << "no small disk can be mounted here: " << run.second.toStdString();
        const QString cause =
            "No se ha podido escribir el archivo " + target +
            ": no queda espacio en el disco. El archivo que había sigue como estaba.";
        EXPECT_EQ(Observed(run, cause, Read(disk + ".despues")), (Outcome{true, cause, "antiguo"}));
        EXPECT_EQ(Read(disk + ".lista"), name + "\nrelleno\n");
    }
}

} // namespace
