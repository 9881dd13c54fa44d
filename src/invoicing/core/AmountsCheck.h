#pragma once

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
};
