#pragma once

#include <QString>
#include <QStringList>

// What to print: the arguments of Viewer::ShowXml as one value, so that the viewer and the
// unattended export consume the same description and a test can read what a caller asked for.
// Lists are joined by "|" (report names, SQL texts, labels, values).
struct ReportJob {
    int nPrinter = 0;      // 1 listings (A4), 2 receipts, 3 till
    QString sFileName;     // "Factura.xml"; after binding, the full path that was used
    QString sSubreports;   // the last name is the report to load, the others its sub-reports
    QString sSqls;         // parallel to sSubreports
    QString sLabels;       // field names ...
    QString sLabelsValues; // ... and their new texts (or picture paths)
    // The values as read from the database, one per label, when the caller has them: bound
    // instead of sLabelsValues, each as its field's text whatever it holds, so that a "|" in a
    // branch's name cannot shift the values after it, nor a "\" turn a payment type into a
    // picture. sLabelsValues still carries them joined, as the call's text.
    QStringList dataValues;
    // A reprint of an issued document: the layouts print "COPIA" on every page (their :Copia).
    bool bCopia = false;
    // The invoice a job prints (0 for any other report), so that the viewer can e-mail it.
    qint32 nIdFactura = 0;
};
