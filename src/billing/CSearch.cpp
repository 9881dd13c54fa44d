// The pet and client selector: its two lists, the narrowing by pet name and the pair's answers.

#include "billing/CSearch.h"

#include "platform/data/ComboListModel.h"
#include "platform/data/DataAccess.h"
#include "platform/ui/widgets/Frm.h"
#include "platform/ui/widgets/TypeAhead.h"
#include "platform/util/TvError.h"
#include "platform/util/Utility.h"
#include "session/G.h"

#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <algorithm>
#include <cmath>
#include <iterator>
#include <utility>

namespace {

QString Literal(const QString& text) {
    return Utility::instance().SqlValue(text, 0, true);
}

// Every client, and every active pet, by name: lists that grow with the clinic, so they are
// browsed rather than read whole. The branches' counter customers are chosen by their own button,
// never by name.
const NameSource Clients{"Clientes", "sCliente", "bMostrador=0", "ClientesBusqueda"};
const NameSource Pets{"Mascotas", "sMascota", "bActivo=true", "MascotasBusqueda"};

// Whether so many pets bear the name that its owners are better browsed than read whole. Reading
// them costs one row per owner; a window of owners walks the client names in order and keeps those
// owning such a pet, Page / share names a window. The cheaper of the two changes where the owners
// reach sqrt(Page x clients): 10,000 of a million clients. Only that many pets are counted.
bool SharedByMany(const QString& pet) {
    DataAccess& db = DataAccess::instance();
    const double clients =
        db.GetRows("SELECT MAX(nIdCliente) FROM Clientes").Value(0, 0).toDouble();
    const qint64 many = std::max<qint64>(500, qint64(std::sqrt(ComboListModel::Page * clients)));
    return db.GetRows("SELECT COUNT(*) FROM (SELECT 1 FROM Mascotas WHERE sMascota=" +
                      Literal(pet) + " LIMIT " + QString::number(many) + ") p")
               .Value(0, 0)
               .toLongLong() >= many;
}

} // namespace

CSearch::CSearch(QObject* parent) : QObject(parent) {}

void CSearch::Setup(QWidget* form, QComboBox* oCboMascota, QComboBox* oCboCliente) {
    Trap("CSearch::Setup", [&] {
        oForm = form;
        cboMascota = oCboMascota;
        cboCliente = oCboCliente;
        if (!Frame())
            throw TvError(5, "La ventana no tiene marco para el selector de mascota y cliente.");
        TypeAhead::Attach(cboMascota)->SearchIn(Pets);
        TypeAhead::Attach(cboCliente)->SearchIn(Clients);
        connect(cboCliente, &QComboBox::activated, this, [this] { cboCliente_Click(); });
        connect(cboMascota, &QComboBox::activated, this, [this] { cboMascota_Click(); });
        // The line edit hands its focus to the combo, so key releases arrive at the combo.
        cboMascota->installEventFilter(this);

        DataAccess& db = DataAccess::instance();
        db.BrowseList(cboCliente, Clients, false, false);
        db.BrowseList(cboMascota, Pets, false, false);
    });
}

QString CSearch::Dato(DatoPareja dato) const {
    const QString sql =
        QString("SELECT ") + " Mascotas.nIdMascota,Mascotas.sMascota,TipoEspecie.sTipoEspecie," +
        "Mascotas.nIdEmpleado," + " Clientes.nIdCliente,Clientes.sCliente" + " FROM ((Mascotas " +
        " LEFT JOIN Clientes ON Mascotas.nIdCliente=Clientes.nIdCliente)" +
        " LEFT JOIN TipoEspecie ON Mascotas.nIdTipoEspecie=TipoEspecie.nIdTipoEspecie)" +
        " WHERE Mascotas.sMascota=" + Literal(cboMascota ? cboMascota->currentText() : QString()) +
        " AND Clientes.sCliente=" + Literal(cboCliente ? cboCliente->currentText() : QString());
    const bool held = m_holding > 0 && sql == m_heldSql;
    Rows read;
    if (!held) {
        read = DataAccess::instance().GetRows(sql);
        if (m_holding > 0) {
            m_heldSql = sql;
            m_heldRows = read;
        }
    }
    const Rows& rows = held ? m_heldRows : read;
    if (rows.IsEmpty())
        return "0";

    // Field of the query for each answer, in DatoPareja's order, and whether it is a number.
    struct Source {
        int field;
        bool number;
    };
    static constexpr Source sources[] = {{0, true}, {1, false}, {2, false},
                                         {4, true}, {5, false}, {3, true}};
    const Source source = sources[static_cast<int>(dato)];
    const QVariant value = rows.Value(source.field, 0);
    const QString text = value.isNull() ? QString() : value.toString();
    return source.number ? Utility::NumberText(Utility::Val(text)) : text;
}

CSearch::HeldAnswers::HeldAnswers(const CSearch& search) : m_search(search) {
    ++m_search.m_holding;
}

CSearch::HeldAnswers::~HeldAnswers() {
    if (--m_search.m_holding == 0) {
        m_search.m_heldSql.clear();
        m_search.m_heldRows = {};
    }
}

bool CSearch::DefineFrom_nIdMascota(qint32 nIdMascota) {
    if (nIdMascota == 0) {
        cboMascota->setCurrentIndex(-1);
        cboMascota->setEditText({});
        cboCliente->setCurrentIndex(-1);
        cboCliente->setEditText({});
        return false;
    }
    DataAccess& db = DataAccess::instance();
    // A list of one client's pets would not hold the pet asked for.
    if (const auto* list = qobject_cast<const ComboListModel*>(cboMascota->model());
        list && list->Complete())
        db.BrowseList(cboMascota, Pets, false, false);
    const QString id = QString::number(nIdMascota);
    const Rows found = db.GetRows("SELECT Mascotas.sMascota, Clientes.sCliente FROM Mascotas LEFT "
                                  "JOIN Clientes ON Clientes.nIdCliente=Mascotas.nIdCliente WHERE "
                                  "Mascotas.nIdMascota=" +
                                  id);
    const QString pet = found.IsEmpty() ? QString() : found.Value(0, 0).toString();
    // The owners of a common name are browsed: their first window is read around this owner
    // rather than from the list's start, which selecting the owner would replace at once.
    m_ownerToShow = pet.isEmpty() ? QString() : found.Value(1, 0).toString();
    Frame()->CBoxProperty_Set(cboMascota, pet);
    const QString owner = std::exchange(m_ownerToShow, {});
    // The pet's change is told once, with the owner shown: the window reads the grid, the
    // employee and the debt for the pair, which the owner's selection would read again at once.
    const bool untold = std::exchange(m_petChangeUntold, false);
    m_clientClicked = false;
    if (!cboMascota->currentText().isEmpty()) {
        // The owner's selection asks whether the pair stands, and so does the window after it.
        const HeldAnswers held(*this);
        Frame()->CBoxProperty_Set(cboCliente, owner);
    }
    if (untold && !m_clientClicked)
        Q_EMIT evtPetChanged(true);
    return true;
}

bool CSearch::eventFilter(QObject* watched, QEvent* event) {
    if (watched == cboMascota && event->type() == QEvent::KeyRelease &&
        !static_cast<QKeyEvent*>(event)->isAutoRepeat()) {
        const auto* key = static_cast<QKeyEvent*>(event);
        cboMascota_KeyUp(key->key(), key->modifiers());
    }
    return QObject::eventFilter(watched, event);
}

void CSearch::RedefinirClientes() {
    Trap("CSearch::RedefinirClientes", [&] {
        DataAccess& db = DataAccess::instance();
        const QString pet = cboMascota->currentText();
        m_narrowedFor = pet;
        if (pet.isEmpty())
            db.BrowseList(cboCliente, Clients, false, true);
        else if (!SharedByMany(pet))
            db.FillList(cboCliente,
                        QString("SELECT DISTINCT Clientes.sCliente ") + " FROM Mascotas " +
                            " LEFT JOIN Clientes ON Clientes.nIdCliente=Mascotas.nIdCliente " +
                            " WHERE Mascotas.sMascota=" + Literal(pet) + " ORDER BY sCliente",
                        true, true, false);
        else
            db.BrowseList(cboCliente,
                          {"Clientes", "sCliente",
                           // Not EXISTS: the server would make it a join, hashing every pet of
                           // the name for each name of the window.
                           "(SELECT 1 FROM Mascotas WHERE Mascotas.nIdCliente=Clientes.nIdCliente "
                           "AND Mascotas.sMascota=" +
                               Literal(pet) + " LIMIT 1) = 1",
                           Clients.searchTable},
                          true, true, m_ownerToShow);
        if (m_ownerToShow.isEmpty())
            Q_EMIT evtPetChanged(true);
        else
            m_petChangeUntold = true;
    });
}

void CSearch::cboCliente_Click() {
    m_clientClicked = true;
    if (Dato(DatoPareja::IdMascota) == "0") {
        const qint32 nIdCliente =
            Utility::ToInt32(Utility::instance().SqlNumber(DataAccess::instance().GetValue(
                "Clientes", "sCliente=" + Literal(cboCliente->currentText()), "nIdCliente")));
        if (nIdCliente != 0)
            MascotasDe(nIdCliente);
    }
    Q_EMIT evtClientChanged(true);
}

void CSearch::MascotasDe(qint32 nIdCliente) {
    Trap("CSearch::MascotasDe", [&] {
        cboMascota->setCurrentIndex(-1);
        cboMascota->setEditText({});
        DataAccess::instance().FillList(cboMascota,
                                        "SELECT DISTINCT sMascota FROM Mascotas WHERE "
                                        "bActivo=true AND nIdCliente=" +
                                            QString::number(nIdCliente) + " ORDER BY sMascota",
                                        false, false, false);
        // The client list is left as it is: it already holds the client taken.
        m_narrowedFor.clear();
    });
}

void CSearch::TomarCliente(const QString& sCliente) {
    if (cboCliente->findText(sCliente, Qt::MatchExactly) < 0)
        DataAccess::instance().BrowseList(cboCliente, Clients, false, false, sCliente);
    Frame()->CBoxProperty_Set(cboCliente, sCliente);
}

void CSearch::cboMascota_Click() {
    RedefinirClientes();
}

void CSearch::cboMascota_KeyUp(int key, Qt::KeyboardModifiers modifiers) {
    // Releasing Ctrl, or a key with a modifier held, is not typing in a name. A key that left the
    // name as it was (arrows, Tab, Home...) has nothing new to narrow, and with an empty name each
    // refill would list every client again.
    if (key != Qt::Key_Control &&
        (modifiers & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier)) ==
            Qt::NoModifier &&
        cboMascota->currentText() != m_narrowedFor)
        RedefinirClientes();
}

Frm* CSearch::Frame() const {
    return oForm ? oForm->findChild<Frm*>() : nullptr;
}
