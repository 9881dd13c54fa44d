#pragma once

#include "billing/BillingWindow.h"
#include "platform/data/Rows.h"

#include <QObject>
#include <QPointer>
#include <QString>

class Frm;
class QComboBox;
class QWidget;

// Ties a window's pet combo and client combo into one selection of a pet and its owner: fills the
// two lists, narrows the clients to the owners of the typed pet name, positions both combos from a
// pet id and answers questions about the selected pair. It keeps no state of its own beyond the
// combos: every answer is read from the database by the texts the combos show at that moment.
//
// Both combos become editable with type-ahead (contains, any case), so a list of many thousands of
// names is searched by typing rather than scrolled. Typing searches every client and every pet,
// however narrowed the lists are: taking a client who does not own the pet shown clears the pet
// and lists that client's pets.
class CSearch : public QObject {
    Q_OBJECT
public:
    explicit CSearch(QObject* parent = nullptr);

    // oForm must carry a window frame (Frm); the combos are positioned through it.
    void Setup(QWidget* oForm, QComboBox* oCboMascota, QComboBox* oCboCliente);

    // What the pair says; "0" for every answer when the two texts name no pet of that client.
    QString Dato(DatoPareja dato) const;

    // Shows the pet and its owner. 0 empties both combos and answers false; an unknown id empties
    // the pet combo, leaves the client combo and answers true.
    bool DefineFrom_nIdMascota(qint32 nIdMascota);

    // Takes the client of that name, as picking it in the list does, also when the list is
    // narrowed to the owners of a pet that client does not own.
    void TomarCliente(const QString& sCliente);

    // While one is alive, Dato reads the pair once for as long as the two texts stay as they
    // are: a window handling a change of the pair asks several questions about it at once.
    class HeldAnswers {
    public:
        explicit HeldAnswers(const CSearch& search);
        ~HeldAnswers();
        HeldAnswers(const HeldAnswers&) = delete;
        HeldAnswers& operator=(const HeldAnswers&) = delete;

    private:
        const CSearch& m_search;
    };

Q_SIGNALS:
    void evtPetChanged(bool bFound);
    void evtClientChanged(bool bFound);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void RedefinirClientes();
    void cboCliente_Click();
    void cboMascota_Click();
    void cboMascota_KeyUp(int key, Qt::KeyboardModifiers modifiers);
    // Clears the pet and lists the active pets of client nIdCliente.
    void MascotasDe(qint32 nIdCliente);
    Frm* Frame() const;

    QPointer<QWidget> oForm;
    QPointer<QComboBox> cboMascota;
    QPointer<QComboBox> cboCliente;
    QString m_narrowedFor; // the pet name the client list was last narrowed for
    QString m_ownerToShow; // the client about to be selected, while its pet is being selected
    bool m_petChangeUntold = false; // the pet was selected, its owner not yet
    bool m_clientClicked = false;
    mutable int m_holding = 0; // HeldAnswers alive
    mutable QString m_heldSql; // the pair's statement read while holding, and its answer
    mutable Rows m_heldRows;
};
