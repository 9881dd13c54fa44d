#pragma once

#include <QList>
#include <QString>

// Every document's stored figures against what its stored lines add up to (IssuedDocument::
// FromLines), to the cent: a header changed behind the module's back, or written by anything
// that computes amounts another way, shows here. The documents and their lines are read in one
// pass, a chunk of documents at a time.
struct AmountsCheck {
    bool agree = true;
    int documents = 0;
    // "amounts: N documents agree with their lines", or the first that does not:
    // "document 0037/26 (id 37): nBi_1 is 121.00 in Facturas, 12.10 from its lines".
    QString message;

    static AmountsCheck Run();

    // Every document of `ids` just written, inside the transaction that is about to commit it,
    // whatever its kind: its header against its lines (what was left of the invoice, for the
    // rectification that takes its last units after others), its breakdown against its header's
    // rates and its amount due, its payments against its cash-box entries and, for a
    // rectification, against what it may give back. Answers the first difference for the user,
    // naming the document and the figure ("El documento A0001/26 no cuadra: el total es 36,31 €
    // en la cabecera y 36,30 € según sus líneas."); empty when everything agrees.
    static QString BeforeCommit(const QList<qint32>& ids);
};
