// The session record and the folders it derives from the suite's root.

#include "session/Gi.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

SessionRecord Gi;

void SessionRecord::DeriveFolders() {
    sPathDatalocal = sPathData + "/Datalocal";
    sPathPics = sPathDatalocal + "/Pics";
    sPathCns = sPathDatalocal + "/Cns";
    sPathVideos = sPathDatalocal + "/Videos";

    sPathReports = sPathData + "/Reports";
    sPathDocs = sPathData + "/Docs";
    sPathMailings = sPathData + "/Mailings";
    sPathFaxEnv = sPathData + "/FaxEnv";
    sPathFaxRec = sPathData + "/FaxRec";

    // An installed package keeps the programs in /usr/bin and the help in
    // /usr/share/tvfacturacion, outside any suite folder: there the suite's own folders do not
    // exist and the program's installation stands in for them.
    const QString programs = QCoreApplication::applicationDirPath();
    sPathHelp = sPathRoot + "/Help";
    if (!QFileInfo(sPathHelp).isDir())
        sPathHelp = QDir::cleanPath(programs + "/../share/tvfacturacion/ayuda");
    sPathUpdate = sPathRoot + "/Update";
    sPathExe = sPathRoot + "/Exe";
    if (!QFileInfo(sPathExe).isDir())
        sPathExe = programs;
    sPathExport = sPathRoot + "/Export";
}
