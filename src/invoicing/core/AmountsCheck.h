#pragma once

#include <QList>
#include <QString>

// Every document's stored figures against each other, to the cent: the header against what its
// stored lines add up to (IssuedDocument::FromLines), the breakdown against the header's rates and
// amount due, the payments against their cash-box entries and what a rectification gives back
// against its amount. A figure changed behind the module's back, or written by anything that
// computes amounts another way, shows here. One rule serves both the check of a document about to
// commit and that of every stored document, which reads the documents and their parts a chunk of
// documents at a time, one query per table.
struct AmountsCheck {
    bool agree = true;
    int documents = 0;
    // "amounts: N documents agree with their lines", or the first that does not, naming the
    // figure: "document 0037/26 (id 37): nBi_1 is 121.00 in Facturas, 12.10 from its lines",
    // "...: its payments add up to 30.25, their cash-box entries to 0.00".
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
    // The read BeforeCommit makes, for DataAccess::ReadAhead.
    static QString BeforeCommitRead(const QList<qint32>& ids);
};
