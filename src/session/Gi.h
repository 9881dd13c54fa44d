#pragma once

#include <QString>

// The session record: who is signed in, where the suite's folders are, the working date, the
// start-up numbers, the user options and the company and branch data. Written once at start-up
// (G::Init, G::Load_Gi, G::Load_Gi_User), read everywhere.
struct SessionRecord {
    QString sPathRoot, sPathIni, sPathData, sPathDatalocal;
    QString sPathPics, sPathCns, sPathVideos;
    QString sPathReports, sPathDocs, sPathMailings, sPathFaxEnv, sPathFaxRec;
    QString sPathHelp, sPathUpdate, sPathExe, sPathExport;

    QString sUsuario;
    QString sClaveCmd;
    qint32 nFechaTrabajo = 0;
    qint32 nParam3 = 0;
    qint32 nIdUsuario = 0;
    qint16 nIdSucursal = 0;
    qint16 nIdUsuarioGrupo = 0;
    bool bClave = false;
    QString sClave;
    bool bAccesoInterSuc = false, bAccesoInterUsr = false;

    bool ExpandedForms = false, GridDblClickForEdit = false, ReturnIsTab = false,
         ColsToGdSize = false;

    QString sNombre;
    QString sNombreSucursal, sEmailSvr, sEmailUsr, sEmailPwd;

    // Derives every folder from sPathRoot and sPathData.
    void DeriveFolders();
};

extern SessionRecord Gi;
