// Speed of the billing window on a generated clinic: by default 100,000 clients, 150,000 pets,
// 2,000 products and 1,000,000 invoice items (arguments: [--server CONNSPEC] [thousands of
// clients] [folder], see GeneratedClinic). Prints "<case>: <value> <unit>" lines.
#include "BenchFigures.h"
#include "billing/CSearch.h"
#include "billing/Facturacion.h"
#include "platform/data/DataAccess.h"
#include "platform/data/StatementProbe.h"
#include "platform/ui/widgets/GridController.h"
#include "platform/util/Utility.h"
#include "session/G.h"
#include "session/Gi.h"
#include "setup/SuiteSetup.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLineEdit>
#include <QProcess>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

int Count(const QString& table) {
    return DataAccess::instance().GetRows("SELECT COUNT(*) FROM " + table).Value(0, 0).toInt();
}

// The machine's monotonic clock, which every process reads alike.
qint64 MonotonicNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Another workstation: adds a pending line for the client, writing to standard output the moment
// just before it commits.
int OtherWorkstationAdds(const QString& ini, const QString& client) {
    Db().Open(DbConfig::FromIni(ini, DbConfig::DataFolder(ini)));
    Db().Transaction(TransactionStep::Begin);
    Db().InsertRecord("FacturasItems",
                      "nIdCliente,nIdMascota,nIdProductoServicio,nUnidades,nPvp,nPorcIpto,nTotal",
                      client + ",0,1,1,25,21,30.25");
    std::printf("%lld\n", MonotonicNs());
    std::fflush(stdout);
    Db().Transaction(TransactionStep::Commit);
    Db().Close();
    return 0;
}

// From just before another workstation commits a line for the client shown until the window's
// grid shows it; the window hears of it by itself, as at the front desk.
double LiveRefreshMs(Facturacion& w, const QString& ini) {
    const int before = w.gd->RecordCount();
    QProcess other;
    other.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    other.start(QCoreApplication::applicationFilePath(),
                {"--add-item", ini, w.dm->Dato(DatoPareja::IdCliente)});
    constexpr int kPatienceMs = 10000;
    const QDeadlineTimer deadline(kPatienceMs);
    // Wakes the wait below should the grid never change.
    QTimer::singleShot(kPatienceMs, &w, [] {});
    while (w.gd->RecordCount() == before && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    const qint64 seen = MonotonicNs();
    // It may have finished already, while the window was waiting.
    other.waitForFinished(kPatienceMs);
    if (other.state() != QProcess::NotRunning || other.exitStatus() != QProcess::NormalExit ||
        other.exitCode() != 0)
        BenchFail("live_refresh: the other workstation could not add its line.");
    if (w.gd->RecordCount() == before)
        BenchFail("live_refresh: the grid never showed the other workstation's line.");
    return double(seen - other.readAllStandardOutput().trimmed().toLongLong()) / 1e6;
}

// With TV_BENCH_SHOW_SQL, each statement with its time run alone (median of 5), which tells the
// server's work from the module's.
void ShowStatements(const QStringList& statements) {
    if (!qEnvironmentVariableIsSet("TV_BENCH_SHOW_SQL"))
        return;
    for (const QString& sql : statements)
        std::fprintf(stderr, "%7.2f ms %s\n",
                     MedianMs(5, [&] { DataAccess::instance().GetRows(sql); }), qPrintable(sql));
    std::fprintf(stderr, "\n");
}

// Whether the window or one of its widgets has been painted since this was made.
class PaintSeen : public QObject {
public:
    explicit PaintSeen(QWidget& window) : m_window(window) { qApp->installEventFilter(this); }
    bool seen = false;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && watched->isWidgetType() &&
            static_cast<QWidget*>(watched)->window() == &m_window)
            seen = true;
        return false;
    }

private:
    QWidget& m_window;
};

// The most memory the process has held at once (the kernel's high-water mark), in megabytes.
double PeakMemoryMb() {
    QFile status("/proc/self/status");
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024;
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc == 4 && QString(argv[1]) == "--add-item")
        return OtherWorkstationAdds(argv[2], argv[3]);
    const QTemporaryDir dir;
    const QString ini = GeneratedClinic(argc, argv, dir) + "/Data/Tavelo.ini";
    G::Init("admin:admin|" + Utility::instance().Today(true) + "|" + ini + "|0|0|0|0");
    // As the module does on start: a folder generated by an earlier version gets what the schema
    // added since (once; later runs find nothing to do).
    Report("schema_update", Ms([] { SuiteSetup::UpdateSchema(); }), "ms");
    Report("clients", Count("Clientes"), "rows");
    Report("pets", Count("Mascotas"), "rows");
    Report("products", Count("ProductosServicios"), "rows");
    Report("invoice_items", Count("FacturasItems"), "rows");

    // The window built, shown and activated (window_load), then until the event loop has painted
    // its first frame (window_first_frame, from the same start), with the statements of the load.
    std::unique_ptr<Facturacion> w;
    QElapsedTimer load;
    load.start();
    StatementProbe::StartRecording();
    Report("window_load", Ms([&] {
               w = std::make_unique<Facturacion>();
               w->resize(1200, 700);
               w->show();
               w->Form_Activate();
           }),
           "ms");
    const QStringList loaded = StatementProbe::StopRecording();
    PaintSeen painted(*w);
    while (!painted.seen && load.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    Report("window_first_frame", double(load.nsecsElapsed()) / 1e6, "ms");
    Report("window_load_statements", double(loaded.size()), "statements");
    ShowStatements(loaded);

    // Pets spread over the whole file, each of another client.
    const qint32 pets = Count("Mascotas");
    std::vector<qint32> sample;
    for (int i = 1; i <= 15; ++i)
        sample.push_back(std::max(1, pets * i / 16));
    std::size_t next = 0;
    Report("choose_pet_and_client",
           MedianMs(15, [&] { w->dm->DefineFrom_nIdMascota(sample[next++ % sample.size()]); }),
           "ms");
    // The round trips of one choice.
    StatementProbe::StartRecording();
    w->dm->DefineFrom_nIdMascota(sample[next++ % sample.size()]);
    const QStringList chosen = StatementProbe::StopRecording();
    Report("choose_pet_and_client_statements", double(chosen.size()), "statements");
    ShowStatements(chosen);
    Report("selector_pair_lookup", MedianMs(15, [&] { w->dm->Dato(DatoPareja::IdCliente); }), "ms");
    Report("grid_refresh_pending", MedianMs(15, [&] { w->gd->Refresh(); }), "ms");
    w->ckHistorial_TX->setChecked(true);
    Report("grid_refresh_with_history", MedianMs(15, [&] { w->gd->Refresh(); }), "ms");
    Report("grid_rows_with_history", w->gd->RecordCount(), "rows");
    w->ckHistorial_TX->setChecked(false);
    w->gd->Refresh();

    // A quantity typed on a new line of the chosen product, then changed: the save and the totals.
    QAbstractItemModel* model = w->gdFacturacion->model();
    const QString product =
        DataAccess::instance().GetValue("ProductosServicios", {}, "sProductoServicio").toString();
    const int row = w->gd->RecordCount();
    Report("product_line_added",
           Ms([&] { model->setData(model->index(row, 4), product, Qt::EditRole); }), "ms");
    int units = 2;
    Report("quantity_typed",
           MedianMs(15,
                    [&] {
                        model->setData(model->index(row, 7), QString::number(units++),
                                       Qt::EditRole);
                    }),
           "ms");
    Report("product_list_fill", MedianMs(5, [&] { w->gd_evtComboDropDown(5); }), "ms");

    // A pet name typed key by key, then cleared: the client list narrows, then lists everyone.
    auto typePet = [&](const QString& text) {
        w->cboMascota_SN->setEditText(text);
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_A, Qt::NoModifier, text.right(1));
        QApplication::sendEvent(w->cboMascota_SN, &release);
    };
    std::vector<double> typed;
    std::vector<double> cleared;
    for (int i = 0; i < 3; ++i) {
        for (const char* text : {"L", "Lu", "Lun", "Luna"})
            typed.push_back(Ms([&] { typePet(text); }));
        cleared.push_back(Ms([&] { typePet(QString()); }));
    }
    Report("pet_typed_key", Median(typed), "ms");
    Report("pet_cleared_all_clients_listed", Median(cleared), "ms");
    Report("client_list_entries", w->cboCliente_SN->count(), "entries");

    // A part of a client's name typed key by key over the whole list: the type-ahead popup
    // narrows to the names that contain it, and the grid follows the typed name.
    QLineEdit* clientText = w->cboCliente_SN->lineEdit();
    std::vector<double> clientTyped;
    for (int i = 0; i < 3; ++i) {
        clientText->clear();
        for (const char* key : {"g", "a", "r"})
            clientTyped.push_back(Ms([&] {
                QKeyEvent press(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, key);
                QApplication::sendEvent(clientText, &press);
            }));
    }
    Report("client_typed_key", Median(clientTyped), "ms");

    w->dm->DefineFrom_nIdMascota(sample.front());
    std::vector<double> refresh;
    for (int i = 0; i < 5; ++i)
        refresh.push_back(LiveRefreshMs(*w, ini));
    Report("live_refresh_ms", Median(refresh), "ms");
    Report("module_peak_memory", PeakMemoryMb(), "MB");
    w.reset();

    // What reading every client at once costs, as the lists did before they were browsed;
    // measured last, so that the peak above is the module's own.
    Report(
        "read_all_clients",
        MedianMs(3,
                 [&] { DataAccess::instance().GetRows("SELECT DISTINCT sCliente FROM Clientes"); }),
        "ms");
    QComboBox list;
    list.setEditable(true);
    Report("fill_all_clients_list",
           MedianMs(3,
                    [&] {
                        DataAccess::instance().FillList(
                            &list, "SELECT DISTINCT sCliente FROM Clientes", false, true, false);
                    }),
           "ms");

    DataAccess::instance().Close();
    return 0;
}
