// The printer and paper of each kind of document, from the ini and the installed printers.

#include "reports/SetPrinterPaper.h"

#include "platform/data/DataAccess.h"
#include "platform/report/PreviewControl.h"
#include "platform/ui/seam/Ui.h"
#include "platform/ui/widgets/Frm.h"
#include "platform/util/TvError.h"
#include "platform/util/Utility.h"
#include "session/Gi.h"

#include <QPrinterInfo>
#include <functional>

namespace {

// From this version of the platform on, printers keep named paper forms.
constexpr int PaperFormsVersion = 3;
constexpr double TwipsPerMm = 1440 / 25.4;

} // namespace

PrinterPaper::Kind PrinterPaper::ForPrinter(int nPrinter) {
    switch (nPrinter) {
    case 1:
        return {"Listings", 210, 297};
    case 2:
        return {"Receips", 210, 101.6};
    case 3:
        return {"Bills", 75, 100};
    default:
        return {QString(), 0, 0};
    }
}

QString PrinterPaper::FormName(double widthMm, double heightMm) {
    return "TvPaper_" + QString::number(Utility::ToInt32(widthMm * 1000)) + "x" +
           QString::number(Utility::ToInt32(heightMm * 1000));
}

int PrinterPaper::MmToTwips(double mm) {
    return Utility::ToInt32(mm * TwipsPerMm);
}

bool SetPrinterPaper(int nPrinter, PreviewControl& vp, Frm* frame) {
    const QStringList installed = QPrinterInfo::availablePrinterNames();
    if (installed.isEmpty()) {
        // Not an error: the document is issued already, and it can still be exported or sent.
        const QString notice = DataAccess::instance().Translate(
            "No hay ninguna impresora instalada: el documento no se ha impreso. Puede verlo "
            "aquí, exportarlo o enviarlo por correo electrónico.");
        if (frame)
            frame->ShowNotice(notice, 0, false, -1);
        else
            Ui::current().Message("Aviso", notice, Ui::Icon::Information);
        return false;
    }
    Utility& u = Utility::instance();
    const PrinterPaper::Kind kind = PrinterPaper::ForPrinter(nPrinter);
    bool accepted = false;
    const auto refused = [&] {
        if (frame)
            frame->Sb_PanelText_Set(1, vp.Device() + " " +
                                           DataAccess::instance().Translate("no admite papel") +
                                           " " + Utility::NumberText(kind.heightMm) + " mm x " +
                                           Utility::NumberText(kind.widthMm) + " mm");
    };
    // Each step goes on after a failure: at worst the preview keeps the device's own paper.
    const auto step = [&](const std::function<void()>& body) {
        try {
            body();
        } catch (const TvError& e) {
            accepted = false;
            if (e.Number() == ErrorNumber::InvalidPropertyValue ||
                e.Number() == ErrorNumber::PrinterInfoUnavailable)
                refused();
        }
    };

    QString configured;
    if (!kind.key.isEmpty())
        configured = u.ReadIni(Gi.sPathIni, "Printers", kind.key, {});
    bool found = false;
    for (const QString& name : installed)
        found = found || (!configured.isEmpty() && name.trimmed() == configured.trimmed());
    step([&] { vp.SetDevice(found ? configured.trimmed() : QPrinterInfo::defaultPrinterName()); });
    if (kind.key.isEmpty())
        return false;

    if (Utility::Val(u.GetVersion()) >= PaperFormsVersion) {
        const QString form = PrinterPaper::FormName(kind.widthMm, kind.heightMm);
        step([&] {
            u.DeletePaperForm(configured, form);
            u.AddPaperForm(configured, form, Utility::ToInt32(kind.widthMm * 1000),
                           Utility::ToInt32(kind.heightMm * 1000),
                           frame && frame->Window() ? quintptr(frame->Window()->winId()) : 0);
            vp.SetPaperSize(u.PaperFormNumber(configured, form));
            accepted = vp.PaperSize() == u.PaperFormNumber(configured, form);
        });
    } else {
        step([&] {
            vp.SetPaperSize(PreviewControl::UserPaper);
            vp.SetPaperWidth(PrinterPaper::MmToTwips(kind.widthMm));
            vp.SetPaperHeight(PrinterPaper::MmToTwips(kind.heightMm));
            accepted = vp.PaperSizeSupported(PreviewControl::UserPaper);
            if (!accepted)
                refused();
        });
    }
    return accepted;
}
