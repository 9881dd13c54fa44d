// The pet and client lists of a clinic larger than one screen of names: they read the names they
// show, yet list, order and find them as a list holding every name would.
#include "BillingFixture.h"

#include "billing/CSearch.h"
#include "platform/data/ComboListModel.h"
#include "platform/data/StatementProbe.h"
#include "platform/ui/seam/ScriptedUi.h"
#include "platform/ui/widgets/Frm.h"
#include "session/G.h"
#include "setup/SuiteSetup.h"
#include "support/TestEngine.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QCompleter>
#include <QKeyEvent>
#include <QLineEdit>
#include <QProcess>
#include <QRegularExpression>

namespace {

// The other workstation: adds client TV_CLIENT. Only run as a child of the tests below.
TEST(OtherWorkstation, DISABLED_AddsAClient) {
    G::Init("admin:admin||" + qEnvironmentVariable("TV_INI"));
    DataAccess::instance().InsertRecord("Clientes", "sCliente",
                                        U().SqlValue(qEnvironmentVariable("TV_CLIENT"), 0, true));
    DataAccess::instance().Close();
}

class SelectorListTest : public BillingTest {
protected:
    // More clients than one window of the list holds, some of whose names share a part.
    void AddClients() {
        suite.SignIn();
        DataAccess& db = DataAccess::instance();
        db.Transaction(TransactionStep::Begin);
        for (int i = 0; i < 2 * ComboListModel::Page + 20; ++i)
            db.InsertRecord("Clientes", "sCliente",
                            QString("'Cliente %1 Pérez'").arg(i, 4, 10, QChar('0')));
        for (const char* name : {"Muñoz Gil, Eva", "Ramírez Muñoz, Juan", "Zubiri Ordóñez, Iker",
                                 "Ibáñez 100% Ruiz", "Ibañez_Lopez"})
            db.InsertRecord("Clientes", "sCliente", U().SqlValue(QString(name), 0, true));
        db.Transaction(TransactionStep::Commit);
    }

    // The clients of AddClients, each owning three pets named Kira: a name too common for the
    // client list to hold all its owners at once.
    void AddKiraOwners() {
        AddClients();
        DataAccess& db = DataAccess::instance();
        db.Transaction(TransactionStep::Begin);
        for (int i = 0; i < 3; ++i)
            db.Execute("INSERT INTO Mascotas (sMascota, nIdCliente) SELECT 'Kira', nIdCliente "
                       "FROM Clientes WHERE sCliente LIKE 'Cliente%'");
        db.Transaction(TransactionStep::Commit);
    }

    // Every entry of the client list, scrolled through to its end as a view would.
    QStringList ClientList() const {
        auto* list = qobject_cast<ComboListModel*>(w->cboCliente_SN->model());
        while (list->canFetchMore({}))
            list->fetchMore({});
        return list->Texts();
    }

    // What the type-ahead popup offers after the text is typed into the client box.
    QStringList TypedInClients(const QString& text) const {
        QLineEdit* edit = w->cboCliente_SN->lineEdit();
        edit->clear();
        // One key per letter, accented ones included, as a keyboard sends them.
        for (const QChar letter : text) {
            QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(letter));
            QApplication::sendEvent(edit, &press);
        }
        QAbstractItemModel* offered = w->cboCliente_SN->findChild<QCompleter*>()->completionModel();
        QStringList names;
        for (int row = 0; row < offered->rowCount(); ++row)
            names << offered->index(row, 0).data().toString();
        return names;
    }

    // The pet's name cleared by keyboard: the client list lists every client again.
    void ClearPet() {
        w->cboMascota_SN->setFocus();
        w->cboMascota_SN->lineEdit()->selectAll();
        QTest::keyClick(w->cboMascota_SN, Qt::Key_Backspace);
    }

    void OtherWorkstationAddsClient(const QString& name) {
        auto env = QProcessEnvironment::systemEnvironment();
        env.insert("TAVELO_UNATTENDED", "1");
        env.insert("TV_INI", suite.IniPath());
        env.insert("TV_CLIENT", name);
        QProcess other;
        other.setProcessEnvironment(env);
        other.setProcessChannelMode(QProcess::ForwardedChannels);
        other.start(QCoreApplication::applicationFilePath(),
                    {"--gtest_also_run_disabled_tests",
                     "--gtest_filter=OtherWorkstation.DISABLED_AddsAClient"});
        ASSERT_TRUE(other.waitForFinished(60000));
        ASSERT_EQ(other.exitCode(), 0);
    }
};

TEST_F(SelectorListTest, TheClientListReadsAWindowYetListsEveryNameInTodaysOrder) {
    AddClients();
    Open();
    ClearPet();
    auto* list = qobject_cast<ComboListModel*>(w->cboCliente_SN->model());
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->rowCount(), ComboListModel::Page);
    // The statement that filled the list before it was browsed, less the counter customers; the
    // server gives no order without being asked, so there the order is the column's.
    const QString before = "SELECT DISTINCT sCliente FROM Clientes WHERE bMostrador=0" +
                           QString(TestEngine::Server() ? " ORDER BY sCliente" : "");
    EXPECT_EQ(ClientList().join('\n'), Table(before));
}

TEST_F(SelectorListTest, ANameBeyondTheWindowIsSelectedAndTheArrowKeysGoOnPastTheWindow) {
    AddClients();
    Open();
    // A pet whose owner sorts far beyond the first window.
    const qint32 client =
        DataAccess::instance().GetValue("Clientes", "sCliente='Zubiri Ordóñez, Iker'").toInt();
    const qint32 pet = DataAccess::instance().InsertRecord("Mascotas", "sMascota,nIdCliente",
                                                           "'Txiki'," + QString::number(client));
    ChoosePet(pet);
    EXPECT_EQ(w->cboCliente_SN->currentText(), "Zubiri Ordóñez, Iker");
    EXPECT_EQ(w->dm->Dato(DatoPareja::IdCliente), QString::number(client));

    // Down from the last name of the first window goes on to the next name.
    ChoosePet(1);
    auto* list = qobject_cast<ComboListModel*>(w->cboCliente_SN->model());
    ClearPet();
    const QStringList all =
        Table("SELECT DISTINCT sCliente FROM Clientes ORDER BY sCliente").split('\n');
    w->cboCliente_SN->setCurrentIndex(list->rowCount() - 1);
    const QString last = w->cboCliente_SN->currentText();
    QApplication::processEvents();
    w->cboCliente_SN->setFocus();
    QTest::keyClick(w->cboCliente_SN, Qt::Key_Down);
    EXPECT_EQ(w->cboCliente_SN->currentText(), all.value(all.indexOf(last) + 1));
}

TEST_F(SelectorListTest, ScrolledToTheTopTheListReadsOnePageBeforeAndKeepsItsPlace) {
    AddClients();
    Open();
    ClearPet();
    w->Frame()->CBoxProperty_Set(w->cboCliente_SN, "Zubiri Ordóñez, Iker");
    auto* list = qobject_cast<ComboListModel*>(w->cboCliente_SN->model());
    ASSERT_EQ(list->Texts().value(ComboListModel::Page), "Zubiri Ordóñez, Iker");
    w->cboCliente_SN->showPopup();
    QAbstractItemView* view = w->cboCliente_SN->view();
    view->scrollToTop();
    const QString top = list->Texts().first();
    const int before = list->rowCount();
    list->index(0).data(); // as the view paints its first rows
    QTest::qWait(100);
    // One page more, not every name up to the list's start.
    EXPECT_EQ(list->rowCount(), before + ComboListModel::Page);
    EXPECT_EQ(view->indexAt(QPoint(1, 1)).data().toString(), top);
    w->cboCliente_SN->hidePopup();
}

TEST_F(SelectorListTest, TheOwnersOfANameManyPetsBearAreBrowsedAndListedAsBefore) {
    AddKiraOwners();
    Open();
    w->Frame()->CBoxProperty_Set(w->cboMascota_SN, "Kira");
    auto* list = qobject_cast<ComboListModel*>(w->cboCliente_SN->model());
    EXPECT_FALSE(list->Complete());
    EXPECT_EQ(w->cboCliente_SN->currentText(), "Cliente 0000 Pérez");
    EXPECT_EQ(ClientList().join('\n'),
              Table("SELECT DISTINCT Clientes.sCliente FROM Mascotas LEFT JOIN Clientes ON "
                    "Clientes.nIdCliente=Mascotas.nIdCliente WHERE Mascotas.sMascota='Kira' "
                    "ORDER BY sCliente"));
    EXPECT_EQ(TypedInClients("e 021").size(), 10);
    // Typing searches every client, not only the owners listed.
    EXPECT_EQ(TypedInClients("muñ").join('|'),
              "Muñoz Gil, Eva|Ramírez Muñoz, Juan|Sergio Muñoz Blanco");
}

TEST_F(SelectorListTest, APetOfACommonNameChosenByIdShowsItsOwnerAmongTheOwnersAndTellsOnce) {
    AddKiraOwners();
    DataAccess& db = DataAccess::instance();
    Open();
    int told = 0;
    QObject::connect(w->dm.get(), &CSearch::evtPetChanged, [&] { ++told; });
    QObject::connect(w->dm.get(), &CSearch::evtClientChanged, [&] { ++told; });
    // An owner in the middle of the owners, a window away from either end.
    const QString owner = "Cliente 0110 Pérez";
    const QString client = db.GetValue("Clientes", "sCliente='" + owner + "'").toString();
    StatementProbe::StartRecording();
    ChoosePet(db.GetValue("Mascotas", "sMascota='Kira' AND nIdCliente=" + client).toInt());
    const QStringList statements = StatementProbe::StopRecording();
    EXPECT_EQ(told, 1);
    // The window's questions about the pair (client, grid, employee) are read once.
    EXPECT_EQ(statements.filter("TipoEspecie.sTipoEspecie").size(), 1);
    EXPECT_EQ(w->cboCliente_SN->currentText() + "|" + w->dm->Dato(DatoPareja::IdCliente),
              owner + "|" + client);

    // A name the owners lack is not found and leaves the window where it was.
    auto* list = qobject_cast<ComboListModel*>(w->cboCliente_SN->model());
    const QStringList window = list->Texts();
    EXPECT_EQ(w->cboCliente_SN->findText("Muñoz Gil, Eva"), -1);
    EXPECT_EQ(list->Texts(), window);

    // Scrolled to either end, the window lists every owner in the order of the whole list.
    for (int rows = -1; rows != list->rowCount(); QApplication::processEvents()) {
        rows = list->rowCount();
        list->index(0).data();
    }
    EXPECT_EQ(ClientList().join('\n'),
              Table("SELECT DISTINCT Clientes.sCliente FROM Mascotas LEFT JOIN Clientes ON "
                    "Clientes.nIdCliente=Mascotas.nIdCliente WHERE Mascotas.sMascota='Kira' "
                    "ORDER BY sCliente"));

    // A name few pets bear: its owners are read whole, and the window is told once too.
    told = 0;
    ChoosePet(1);
    EXPECT_EQ(told, 1);
}

TEST_F(SelectorListTest, TypeAheadFindsAnyPartOfANameWithItsAccentsAndWildcardsAsTyped) {
    AddClients();
    Open();
    ClearPet();
    // A name is found by its middle and by its accented letters; "%" and "_" are letters too.
    const std::pair<const char*, const char*> cases[] = {
        {"muñ", "Muñoz Gil, Eva|Ramírez Muñoz, Juan|Sergio Muñoz Blanco"},
        {"ÑOZ b", "Sergio Muñoz Blanco"},
        {"dóñ", "Zubiri Ordóñez, Iker"},
        {"0%", "Ibáñez 100% Ruiz"},
        {"z_", "Ibañez_Lopez"},
        {"nadie", ""},
    };
    for (const auto& [typed, offered] : cases)
        EXPECT_EQ(TypedInClients(typed).join('|'), offered) << typed;
    // Picking the offered name selects it as a click in the list does.
    TypedInClients("ordóñ");
    QCompleter* popup = w->cboCliente_SN->findChild<QCompleter*>();
    Q_EMIT popup->activated(QString("Zubiri Ordóñez, Iker"));
    EXPECT_EQ(w->cboCliente_SN->currentText(), "Zubiri Ordóñez, Iker");
}

TEST_F(SelectorListTest, AClientAddedByAnotherWorkstationIsListedAndFound) {
    Open();
    ClearPet();
    OtherWorkstationAddsClient("Aaron Núñez Zapata");
    EXPECT_EQ(TypedInClients("núñez").join('|'), "Aaron Núñez Zapata");
    // Choosing a pet and clearing it lists every client again, the new one among them.
    ChoosePet(1);
    ClearPet();
    EXPECT_TRUE(ClientList().contains("Aaron Núñez Zapata"));
}

TEST_F(SelectorListTest, TheSearchIndexIsBuiltForAFolderThatHadNone) {
    suite.SignIn();
    DataAccess& db = DataAccess::instance();
    // A folder of an earlier version: no search index, and clients written meanwhile.
    if (TestEngine::Server()) {
        db.Execute("DROP INDEX ixClientes_sCliente_trgm");
    } else {
        for (const char* trigger : {"alta", "baja", "cambio"})
            db.Execute(QString("DROP TRIGGER tv_clientesbusqueda_") + trigger);
        db.Execute("DROP TABLE ClientesBusqueda");
    }
    db.InsertRecord("Clientes", "sCliente", "'Íñigo Etxeberria'");
    SuiteSetup::UpdateSchema();
    EXPECT_EQ(Table(TestEngine::Server()
                        ? "SELECT COUNT(*) FROM pg_indexes WHERE indexname = "
                          "'ixclientes_scliente_trgm'"
                        : "SELECT COUNT(*) FROM ClientesBusqueda WHERE ClientesBusqueda MATCH "
                          "'\"ñigo\"'"),
              "1");
    Open();
    ClearPet();
    EXPECT_EQ(TypedInClients("ñigo").join('|'), "Íñigo Etxeberria");
}

TEST_F(SelectorListTest, TheProductListOfANewLineReadsAWindowYetOrdersAndFindsAsBefore) {
    suite.SignIn();
    DataAccess& db = DataAccess::instance();
    db.Transaction(TransactionStep::Begin);
    for (int i = 0; i < 2 * ComboListModel::Page + 20; ++i)
        db.InsertRecord("ProductosServicios", "sProductoServicio,nPvp1",
                        QString("'Vacuna %1 polivalente',10").arg(i, 4, 10, QChar('0')));
    db.Execute("INSERT INTO ProductosServicios (sProductoServicio, bActivo, bLuzAguaTelefono) "
               "VALUES ('Zzz pienso retirado', 0, 0), ('Zzz luz del local', 1, 1)");
    db.Transaction(TransactionStep::Commit);
    Open();
    ChoosePet(1);
    const int row = NewLine();
    QWidget* editor = StartEditing(row, "Producto Servicio", "0217 poli");
    auto* list = qobject_cast<ComboListModel*>(qobject_cast<QComboBox*>(editor)->model());
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->rowCount(), ComboListModel::Page);
    // A piece in the middle of a name offers that product alone, and Enter takes it.
    QTest::keyClick(editor, Qt::Key_Return);
    QApplication::processEvents();
    EXPECT_EQ(Cells(row, {"Producto Servicio", "Precio"}), "Vacuna 0217 polivalente|10,00");

    while (list->canFetchMore({}))
        list->fetchMore({});
    const QString before = "SELECT DISTINCT sProductoServicio FROM ProductosServicios WHERE "
                           "bActivo=1 AND bLuzAguaTelefono=0 ORDER BY sProductoServicio";
    EXPECT_EQ(list->Texts().join('\n'), Table(before));

    // A product added after the list was read is found by its name typed in another case.
    db.InsertRecord("ProductosServicios", "sProductoServicio,nPvp1", "'Arnés reflectante',7");
    suite.Ui().Confirmations = {false};
    suite.Ui().Shown.clear();
    Type(NewLine(), "Producto Servicio", "ARNÉS REFLECTANTE");
    EXPECT_EQ(suite.Ui().Shown.join('|'), "");
    EXPECT_EQ(Cells(NewLine() - 1, {"Producto Servicio", "Precio"}), "Arnés reflectante|7,00");
}

// A pet and its owner chosen, typing in the client box searches every client; the grid keeps its
// lines until another client is taken, who loses the pet and gets his own pets listed.
TEST_F(SelectorListTest, TypingInTheClientBoxSearchesEveryClientAndLosesNothingChosen) {
    Open();
    ChoosePet(1);
    const auto grid = [&] {
        QStringList rows;
        for (int row = 1; row <= w->gd->RecordCount(); ++row)
            rows << Cells(row, {"Id", "Producto Servicio", "Total"});
        return rows.join('\n') + "|" + QString::number(w->gd->Editable());
    };
    const QString ana = grid();
    w->Frame()->CBoxProperty_Set(w->cboMascota_SN, "Luna");
    w->Frame()->CBoxProperty_Set(w->cboCliente_SN, "Lucía Fernández Gil");
    const QString lucia = grid();
    ASSERT_NE(lucia, ana);
    QApplication::setActiveWindow(w.get());
    w->cboCliente_SN->setFocus();
    EXPECT_EQ(TypedInClients("garcía l").join('|'), "Ana García López");
    EXPECT_EQ(grid(), lucia) << "the grid does not follow a search";
    // A search left half-way gives the box its client back.
    w->ckHistorial_TX->setFocus();
    EXPECT_EQ(w->cboCliente_SN->currentText() + "|" + w->cboMascota_SN->currentText(),
              "Lucía Fernández Gil|Luna");
    EXPECT_EQ(grid(), lucia);
    // Taken, another client clears the pet, lists his own pets and shows his lines.
    w->cboCliente_SN->setFocus();
    TypedInClients("garcía l");
    Q_EMIT w->cboCliente_SN->findChild<QCompleter*>()->activated(QString("Ana García López"));
    QStringList pets;
    for (int i = 0; i < w->cboMascota_SN->count(); ++i)
        pets << w->cboMascota_SN->itemText(i);
    EXPECT_EQ(w->cboMascota_SN->currentText() + "|" + pets.join(','), "|Toby");
    EXPECT_EQ(grid(), QString(ana).replace(QRegularExpression("1$"), "0"));
    // One of his pets makes the pair again.
    w->Frame()->CBoxProperty_Set(w->cboMascota_SN, pets.value(0));
    EXPECT_EQ(grid(), ana);
    EXPECT_EQ(w->dm->Dato(DatoPareja::IdCliente), "1");
}

} // namespace
