// The window frame: shortcuts, buttons, closing, status panels, combos, notices, activation.

#include "platform/ui/widgets/Frm.h"
#include "platform/ui/seam/ScriptedUi.h"

#include "QtPrinting.h"
#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTableWidget>
#include <QTest>
#include <QTextEdit>
#include <QVBoxLayout>
#include <gtest/gtest.h>

namespace {
// A window as the module builds them: the frame, then the window's own fields in its content.
struct Window {
    explicit Window(QWidget* w = new QWidget) : window(w), frm(new Frm(w, "Facturación")) {
        auto* layout = new QVBoxLayout(frm->Content());
        for (QWidget* field :
             std::initializer_list<QWidget*>{text, combo, editable, spin, check, notes})
            layout->addWidget(field);
        editable->setEditable(true);
        for (const char* name : {"1) Mostrador", "2) Consulta", "3) Peluquería"})
            for (QComboBox* box : {combo, editable})
                box->addItem(QString::fromUtf8(name), box->count() + 10);
    }
    ~Window() { delete window; }
    void Show() {
        window->show();
        window->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(window));
        QApplication::processEvents();
    }

    QWidget* window;
    Frm* frm;
    QLineEdit* text = new QLineEdit;
    QComboBox* combo = new QComboBox;
    QComboBox* editable = new QComboBox;
    QSpinBox* spin = new QSpinBox;
    QCheckBox* check = new QCheckBox(QStringLiteral("ckHistorial_TX"));
    QTextEdit* notes = new QTextEdit;
};

QStringList Names(const QSignalSpy& spy) {
    QStringList names;
    for (const auto& arguments : spy)
        names << arguments.at(0).toString();
    return names;
}
} // namespace

TEST(FrmTest, CtrlLetterRaisesTheToolButLeavesEditingKeysToTheFocusedField) {
    Window w;
    w.frm->AddTool("Clientes_NA", "Clientes", {}, 'C');
    w.frm->AddTool("CodigoProducto_NA", "Añadir por código", {}, 'A');
    w.frm->AddTool("Print_NA", "Imprimir", {}, 'P');
    w.frm->AddTool("Estadisticas_NA", "Estadísticas", {});
    QSignalSpy tools(w.frm, &Frm::evtToolClick);
    QSignalSpy keys(w.frm, &Frm::evtKeyDown);
    w.Show();

    w.text->setText("Garfield");
    w.text->setFocus();
    QTest::keyClick(w.text, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(w.text, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(w.text->selectedText(), "Garfield") << "Ctrl+A stayed with the field";
    QTest::keyClick(w.text, Qt::Key_P, Qt::ControlModifier);
    for (QWidget* field : std::initializer_list<QWidget*>{w.editable, w.spin, w.notes}) {
        field->setFocus();
        QTest::keyClick(field, Qt::Key_C, Qt::ControlModifier);
    }
    EXPECT_EQ(Names(tools), QStringList({"P"}));

    w.check->setFocus(); // not a text field: C and A are the tools' letters here
    QTest::keyClick(w.check, Qt::Key_C, Qt::ControlModifier);
    QTest::keyClick(w.check, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(w.check, Qt::Key_E, Qt::ControlModifier); // no tool: only the key event
    w.frm->SetToolVisible("Clientes_NA", false);
    QTest::keyClick(w.check, Qt::Key_C, Qt::ControlModifier);
    QTest::mouseClick(w.frm->Tool("Estadisticas_NA"), Qt::LeftButton);
    EXPECT_EQ(Names(tools), QStringList({"P", "C", "A", "Estadisticas_NA"}));

    // Every key reaches the window once, also those that travel up unhandled.
    QList<int> letters;
    for (const auto& arguments : keys)
        if (arguments.at(0).toInt() != Qt::Key_Control)
            letters << arguments.at(0).toInt();
    EXPECT_EQ(letters, QList<int>({Qt::Key_A, Qt::Key_C, Qt::Key_P, Qt::Key_C, Qt::Key_C, Qt::Key_C,
                                   Qt::Key_C, Qt::Key_A, Qt::Key_E, Qt::Key_C}));
    EXPECT_EQ(keys.last().at(1).value<Qt::KeyboardModifiers>(), Qt::ControlModifier);
}

TEST(FrmTest, ButtonsRaiseTheirNameAndCloseRequestsGoToTheWindow) {
    auto* dialog = new QDialog;
    Window w(dialog);
    w.frm->AddButton("GenerarFactura_BT", "Generar factura");
    QSignalSpy pressed(w.frm, &Frm::evtButtonPressed);
    w.Show();
    QTest::mouseClick(w.window->findChild<QPushButton*>("GenerarFactura_BT"), Qt::LeftButton);
    EXPECT_EQ(Names(pressed), QStringList({"GenerarFactura_BT"}));

    int requests = 0;
    auto connection = QObject::connect(w.frm, &Frm::evtClose, [&] { ++requests; });
    auto* close = w.window->findChild<QAbstractButton*>("TitleBarClose_NA");
    QTest::mouseClick(close, Qt::LeftButton);
    w.text->setFocus();
    QTest::keyClick(w.text, Qt::Key_Escape);
    w.window->close(); // the window system's close button
    EXPECT_EQ(requests, 3);
    EXPECT_TRUE(dialog->isVisible()) << "the window decides";

    w.frm->Close();
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(dialog->result(), QDialog::Rejected);

    QObject::disconnect(connection); // without a handler the frame closes the window itself
    w.Show();
    QTest::mouseClick(close, Qt::LeftButton);
    EXPECT_FALSE(dialog->isVisible());
}

TEST(FrmTest, AWindowThatClosesOnRequestLetsTheApplicationCloseIt) {
    Window w;
    QObject::connect(w.frm, &Frm::evtClose, w.frm, &Frm::Close);
    w.Show();
    EXPECT_TRUE(w.window->close()) << "closing from inside the close event must not be lost";
    EXPECT_FALSE(w.window->isVisible());
}

TEST(FrmTest, StatusPanelsTakeTheSuitesColoursAndTransientTextsClear) {
    Window w;
    w.Show();
    w.frm->Sb_PanelText_Set(3, "admin 05/03/2026", false, -1, 2);
    w.frm->Sb_PanelText_Set(1, " Los datos han sido guardados.", true, 0xFF0000, 0, 4);
    w.frm->Sb_PanelText_Set(2, "Aviso", false, 255, 0, 4);
    auto* panel1 = w.window->findChild<QLabel*>("FrmPanel1");
    auto* panel2 = w.window->findChild<QLabel*>("FrmPanel2");
    EXPECT_TRUE(panel1->styleSheet().contains("#0000ff")) << "0xFF0000 is blue in BGR";
    EXPECT_TRUE(panel2->styleSheet().contains("#ff0000")) << "255 is red";
    EXPECT_EQ(w.frm->PanelText(1), " Los datos han sido guardados.");

    w.frm->Sb_PanelText_Set(2, "Zoom 100%"); // a lasting text stops the pending clear
    QTest::qWait(250);
    EXPECT_EQ(w.frm->PanelText(1), "");
    EXPECT_EQ(w.frm->PanelText(2), "Zoom 100%");
    EXPECT_EQ(w.frm->PanelText(3), "admin 05/03/2026");
    w.frm->Sb_PanelText_Set(4, "nowhere");
    EXPECT_EQ(w.frm->PanelText(4), "");
}

TEST(FrmTest, ComboHelpersSelectByTextAndAnswerTheId) {
    Window w;
    QSignalSpy activated(w.combo, &QComboBox::activated);
    w.frm->CBoxProperty_Set(w.combo, "2) Consulta");
    EXPECT_EQ(w.combo->currentIndex(), 1);
    ASSERT_EQ(activated.count(), 1);
    EXPECT_EQ(activated.at(0).at(0).toInt(), 1);
    EXPECT_EQ(w.frm->ComboSelectedId(w.combo), 11);

    w.frm->CBoxProperty_Set(w.editable, "O'Brien");
    EXPECT_EQ(w.editable->currentText(), "O'Brien");
    EXPECT_EQ(w.frm->ComboSelectedId(w.editable), 0);

    EXPECT_TRUE(w.frm->ComboSelectByText(w.editable, "3) Peluquería"));
    EXPECT_EQ(w.frm->ComboSelectedId(w.editable), 12);
    w.editable->setEditText("3) Pelu"); // typed over the selection
    EXPECT_EQ(w.frm->ComboSelectedId(w.editable), 0);
    EXPECT_FALSE(w.frm->ComboSelectByText(w.combo, "9) Ninguna"));
    EXPECT_EQ(w.combo->currentIndex(), 1);
    EXPECT_EQ(activated.count(), 1) << "selecting by text is not a user's choice";
}

TEST(FrmTest, ReturnMovesToTheNextFieldOnlyWhenAskedAndNotInMultiLineText) {
    Window w;
    w.Show();
    w.text->setFocus();
    QTest::keyClick(w.text, Qt::Key_Return);
    EXPECT_EQ(QApplication::focusWidget(), w.text);

    w.frm->SetReturnIsTab(true);
    QTest::keyClick(w.text, Qt::Key_Return);
    EXPECT_EQ(QApplication::focusWidget(), w.combo);
    QTest::keyClick(w.combo, Qt::Key_Enter);
    EXPECT_EQ(QApplication::focusWidget(), w.editable);
    w.spin->setFocus();
    QTest::keyClick(w.spin, Qt::Key_Return);
    EXPECT_EQ(QApplication::focusWidget(), w.check);

    w.notes->setFocus();
    QTest::keyClicks(w.notes, "a");
    QTest::keyClick(w.notes, Qt::Key_Return);
    QTest::keyClicks(w.notes, "b");
    EXPECT_EQ(QApplication::focusWidget(), w.notes);
    EXPECT_EQ(w.notes->toPlainText(), "a\nb");
}

TEST(FrmTest, NoticeLineShowsUnderTheToolsAndHidesWhenEmpty) {
    Window w;
    w.Show();
    auto* notice = w.window->findChild<QLabel*>("FrmNotice");
    EXPECT_FALSE(notice->isVisible());
    w.frm->ShowNotice("ESTE CLIENTE TIENE UNA DEUDA DE 12.50 EURO/S");
    EXPECT_TRUE(notice->isVisible());
    EXPECT_EQ(w.frm->NoticeText(), "ESTE CLIENTE TIENE UNA DEUDA DE 12.50 EURO/S");
    const QImage shown = notice->grab().toImage();
    int red = 0;
    for (int y = 0; y < shown.height(); ++y)
        for (int x = 0; x < shown.width(); ++x)
            red += QColor(shown.pixel(x, y)) == QColor(Qt::red) ? 1 : 0;
    EXPECT_GT(red, 20) << "the text is drawn in the suite's red (255)";
    EXPECT_LT(notice->mapTo(w.window, QPoint()).y(), w.text->mapTo(w.window, QPoint()).y());
    w.frm->ShowNotice("");
    EXPECT_FALSE(notice->isVisible());
    EXPECT_EQ(w.frm->NoticeText(), "");
}

TEST(FrmTest, ActivationIsCountedOnceAndActiveFollowsTheActiveWindow) {
    Window first;
    Window second;
    first.Show();
    EXPECT_EQ(first.frm->ActivationCount(), 1);
    EXPECT_EQ(Frm::Active(), first.frm);
    second.Show();
    EXPECT_EQ(Frm::Active(), second.frm);
    first.window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(first.window));
    EXPECT_EQ(first.frm->ActivationCount(), 2);
    EXPECT_EQ(Frm::Active(), first.frm);
    EXPECT_EQ(first.frm->nActivado, 0) << "the window marks its first activation itself";
}

TEST(FrmTest, InputCheckCommitsTheFocusedFieldThenAsksTheChecks) {
    auto scripted = std::make_unique<ScriptedUi>();
    ScriptedUi& ui = *scripted;
    auto previous = Ui::Install(std::move(scripted));
    Window w;
    w.Show();
    int committed = 0;
    QObject::connect(w.text, &QLineEdit::editingFinished, [&] { ++committed; });
    bool pass = true;
    w.frm->AddInputCheck([&](bool) { return pass; });

    w.text->setFocus();
    QTest::keyClicks(w.text, "12");
    EXPECT_TRUE(w.frm->InputCheck(true));
    EXPECT_EQ(committed, 1);
    pass = false;
    EXPECT_FALSE(w.frm->InputCheck(true));

    // A value typed into a grid cell reaches the grid before the window acts on it.
    auto* grid = new QTableWidget(1, 1);
    w.frm->Content()->layout()->addWidget(grid);
    grid->setItem(0, 0, new QTableWidgetItem("1"));
    grid->setFocus();
    grid->editItem(grid->item(0, 0));
    auto* cell = qobject_cast<QLineEdit*>(QApplication::focusWidget());
    ASSERT_NE(cell, nullptr);
    cell->setText("7");
    w.frm->InputCheck(true);
    EXPECT_EQ(grid->item(0, 0)->text(), "7");

    pass = true;
    w.text->setValidator(new QIntValidator(1, 99, w.text));
    w.text->setAccessibleName("Cantidad");
    w.text->setText("500");
    EXPECT_FALSE(w.frm->InputCheck(true));
    EXPECT_EQ(ui.Shown, QStringList({"[Aviso] El dato \"Cantidad\" no es válido."}));
    EXPECT_FALSE(w.frm->InputCheck(false));
    EXPECT_EQ(ui.Shown.size(), 1);
    Ui::Install(std::move(previous));
}

TEST(FrmTest, DraggingTheTitleMovesAFramelessDialog) {
    Window w(new QDialog);
    w.window->resize(400, 300);
    w.window->move(100, 100);
    w.Show();
    EXPECT_TRUE(w.window->windowFlags() & Qt::FramelessWindowHint);
    auto* title = w.window->findChild<QLabel*>("lblTitle");
    const QPoint start = w.window->pos();
    QTest::mousePress(title, Qt::LeftButton, {}, QPoint(5, 5));
    QTest::mouseMove(title, QPoint(45, 25));
    QTest::mouseRelease(title, Qt::LeftButton, {}, QPoint(45, 25));
    EXPECT_EQ(w.window->pos(), start + QPoint(40, 20));
}
