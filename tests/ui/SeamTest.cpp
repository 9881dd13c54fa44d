// The seams: scripted answers, unattended runs, the program's end and Qt's texts in Spanish.

#include "UnattendedChild.h"

#include "platform/data/DataAccess.h"
#include "platform/ui/seam/InteractiveUi.h"
#include "platform/ui/seam/ScriptedUi.h"
#include "platform/ui/seam/Translations.h"

#include "QtPrinting.h"
#include <QApplication>
#include <QCoreApplication>
#include <QDialog>
#include <QFileDialog>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>
#include <QVBoxLayout>
#include <cstdio>
#include <gtest/gtest.h>

void UnattendedChild::Run() {
    Ui& ui = Ui::current();
    ui.Message("Aviso", "Primera línea\nsegunda\r\ntercera", Ui::Icon::Information);
    const bool yes = ui.Confirm("Confirmación", "¿Seguro?", Ui::Default::Yes);
    const QString typed = ui.Input("Zoom", "Porcentaje", "100");
    const QString file = ui.SaveFile("Exportar", "/tmp/export", "pdf", "Pdf (*.pdf)");
    QDialog dialog;
    ui.ShowModal(dialog); // must not wait for anybody
    std::printf("answers %d [%s] [%s] %d\n", yes ? 1 : 0, qPrintable(typed), qPrintable(file),
                dialog.isVisible() ? 1 : 0);
    std::fflush(stdout);
    EndProgram(3);
}

namespace {
// Installs a fresh ScriptedUi for one test and puts the previous seam back afterwards.
class ScriptedSeam {
public:
    ScriptedSeam() {
        auto ui = std::make_unique<ScriptedUi>();
        m_ui = ui.get();
        m_previous = Ui::Install(std::move(ui));
    }
    ~ScriptedSeam() { Ui::Install(std::move(m_previous)); }
    ScriptedUi& operator*() const { return *m_ui; }
    ScriptedUi* operator->() const { return m_ui; }

private:
    ScriptedUi* m_ui;
    std::unique_ptr<Ui> m_previous;
};
} // namespace

TEST(ScriptedUiTest, AnswersFromItsQueuesThenDefaultsAndRecordsEverything) {
    ScriptedSeam ui;
    ui->Confirmations = {true};
    ui->Inputs = {"7"};
    ui->Files = {"/tmp/a.pdf"};

    Ui& seam = Ui::current();
    EXPECT_TRUE(seam.Confirm("Confirmación", "¿Seguro?", Ui::Default::Yes));
    EXPECT_FALSE(seam.Confirm("Confirmación", "¿Otra vez?", Ui::Default::No));
    EXPECT_EQ(seam.Input("Ir a página...", "Página", {}), "7");
    EXPECT_EQ(seam.Input("Zoom", "Porcentaje", {}), "");
    EXPECT_EQ(seam.SaveFile("Exportar", "/tmp", "pdf", {}), "/tmp/a.pdf");
    EXPECT_EQ(seam.SaveFile("Exportar", "/tmp", "pdf", {}), "");
    seam.Message("Aviso", "Hecho", Ui::Icon::Information);

    EXPECT_EQ(ui->Shown, QStringList({"[Confirmación] ¿Seguro?", "[Confirmación] ¿Otra vez?",
                                      "[Ir a página...] Página", "[Zoom] Porcentaje",
                                      "[Exportar] /tmp", "[Exportar] /tmp", "[Aviso] Hecho"}));
    try {
        seam.Exit(5);
        FAIL() << "Exit returned";
    } catch (const ProgramEnded& ended) {
        EXPECT_EQ(ended.status, 5);
    }
}

TEST(ScriptedUiTest, ModalWindowRunsTheQueuedActionAndIsClosedAfterwards) {
    ScriptedSeam ui;
    QDialog dialog;
    auto* edit = new QLineEdit(&dialog);
    edit->setObjectName("txtCodigo_TX");
    auto* ok = new QPushButton("Aceptar", &dialog);
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(edit);
    layout->addWidget(ok);
    QObject::connect(ok, &QPushButton::clicked, &dialog, &QDialog::accept);

    bool wasVisible = false;
    ui->ModalActions.push_back([&](QWidget& window) {
        wasVisible = window.isVisible();
        window.findChild<QLineEdit*>("txtCodigo_TX")->setText("A1");
    });
    Ui::current().ShowModal(dialog);
    EXPECT_TRUE(wasVisible);
    EXPECT_FALSE(dialog.isVisible()) << "left open by the action, closed by the seam";
    EXPECT_EQ(dialog.result(), QDialog::Rejected);

    ui->ModalActions.push_back([](QWidget& window) { window.findChild<QPushButton*>()->click(); });
    Ui::current().ShowModal(dialog);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);

    Ui::current().ShowModal(dialog); // nothing queued: as if closed without a choice
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(ui->ModalCount, 3);
}

TEST(UnattendedUiTest, WritesOneLinePerDialogAnswersAtOnceAndLeavesWithTheStatus) {
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("TAVELO_UNATTENDED", "1");
    env.insert("QT_QPA_PLATFORM", "offscreen");
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(),
                {QString::fromLatin1(UnattendedChild::Argument)});
    ASSERT_TRUE(child.waitForFinished(30000)) << "an unattended run waited for somebody";

    EXPECT_EQ(child.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(child.exitCode(), 3);
    // Qt may add warnings of its own about the environment; the dialogs are the bracketed lines.
    const QStringList lines = QString::fromUtf8(child.readAllStandardError())
                                  .split('\n', Qt::SkipEmptyParts)
                                  .filter(QRegularExpression("^\\["));
    EXPECT_EQ(lines,
              QStringList({"[Aviso] Primera línea segunda tercera", "[Confirmación] ¿Seguro?",
                           "[Zoom] Porcentaje", "[Exportar] /tmp/export"}));
    EXPECT_EQ(QString::fromUtf8(child.readAllStandardOutput()).trimmed(), "answers 0 [] [] 1");
}

TEST(EndProgramTest, RollsBackTheOpenTransactionAndClosesTheDatabase) {
    ScriptedSeam ui;
    QTemporaryDir dir;
    DbConfig config;
    config.sqliteFile = dir.filePath("Tavelo.db");
    DataAccess& db = DataAccess::instance();
    db.Open(config);
    db.Execute("CREATE TABLE Cajas (nIdCaja INTEGER PRIMARY KEY, sCaja TEXT)");
    db.Transaction(TransactionStep::Begin);
    db.InsertRecord("Cajas", "sCaja", "'Mostrador'");
    ASSERT_TRUE(db.InTransaction());

    try {
        EndProgram(2);
        FAIL() << "EndProgram returned";
    } catch (const ProgramEnded& ended) {
        EXPECT_EQ(ended.status, 2);
    }
    EXPECT_FALSE(db.IsConnected());

    db.Open(config);
    EXPECT_EQ(db.SumField("Cajas", "nIdCaja", {}), 0.0);
    db.Close();
}

TEST(TranslationsTest, QtsOwnButtonsAndFileDialogSpeakSpanish) {
    ASSERT_TRUE(InstallSpanishTranslations(*QCoreApplication::instance()));
    QMessageBox box(QMessageBox::Question, "Confirmación", "¿Seguro?",
                    QMessageBox::Yes | QMessageBox::No | QMessageBox::Ok | QMessageBox::Cancel);
    QStringList buttons;
    for (const auto button :
         {QMessageBox::Yes, QMessageBox::No, QMessageBox::Ok, QMessageBox::Cancel})
        buttons << box.button(button)->text().remove('&');
    EXPECT_EQ(buttons.join('|'), "Sí|No|Aceptar|Cancelar");

    QFileDialog dialog(nullptr, "Exportar");
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    QStringList labels;
    for (const char* name : {"lookInLabel", "fileNameLabel", "fileTypeLabel"})
        labels << dialog.findChild<QLabel*>(name)->text().remove('&');
    EXPECT_EQ(labels.join('|'), "Ver en:|Nombre de fichero:|Ficheros de tipo:");
}

// Sized to a short prompt, an input box was narrower than its title, which the window manager
// elided in the middle ("Libros…tables"). Accepted it answers what was typed; Escape, nothing.
TEST(InteractiveUiTest, AnInputBoxIsWideEnoughForItsTitle) {
    InteractiveUi seam;
    const QString title = "Libros contables de la sucursal del centro";
    for (const bool accept : {true, false}) {
        int width = 0, needed = 0;
        QTimer::singleShot(0, [&] {
            for (QWidget* top : QApplication::topLevelWidgets())
                if (auto* box = qobject_cast<QInputDialog*>(top); box && box->isVisible()) {
                    width = box->width();
                    needed = box->fontMetrics().horizontalAdvance(title);
                    box->setTextValue("31-03-2026");
                    accept ? box->accept() : box->reject();
                }
        });
        EXPECT_EQ(seam.Input(title, "Desde el día:", "01-01-2026"), accept ? "31-03-2026" : "");
        EXPECT_GT(width, needed);
    }
}
