#pragma once

#include <QString>

class Frm;
class PreviewControl;

// The printer and paper of each kind of document: the printer named in the initialisation
// file's section "Printers" when it is installed (else the default printer) and the paper the
// kind is printed on.
namespace PrinterPaper {

struct Kind {
    QString key;     // key in section "Printers"; empty for an unknown kind
    double widthMm;  // paper width
    double heightMm; // paper height
};

// 1 listings (A4), 2 receipts, 3 till; any other number: no key and no size.
Kind ForPrinter(int nPrinter);

// "TvPaper_" + width x 1000 + "x" + height x 1000, the name a custom form is registered under.
QString FormName(double widthMm, double heightMm);

// Millimetres to twips (1 mm = 56.6929 twips), rounded to the nearest twip.
int MmToTwips(double mm);

} // namespace PrinterPaper

// Points the preview control at the printer of document kind nPrinter and gives it the kind's
// paper. True when the control accepted the paper. Never stops a rendering: without a printer it
// says so in the frame's notice line, as information (a message box when there is no frame), and
// the preview keeps the report's own paper; a printer that refuses the paper is named in the
// frame's status bar.
bool SetPrinterPaper(int nPrinter, PreviewControl& vp, Frm* frame);
