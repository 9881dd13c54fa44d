#include "session/Gi.h"

SessionRecord Gi;
qint32 nIdClienteActual = 0;

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

    sPathHelp = sPathRoot + "/Help";
    sPathUpdate = sPathRoot + "/Update";
    sPathExe = sPathRoot + "/Exe";
    sPathExport = sPathRoot + "/Export";
}
