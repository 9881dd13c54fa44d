-- Tavelo suite database. Column prefixes carry the type: n number (INTEGER for keys and counters,
-- DOUBLE PRECISION for amounts, prices, units and percentages), s TEXT, d INTEGER yyyymmdd,
-- b INTEGER 0/1. Each table's key is its first column and is assigned by the database.
-- Statements end with ";" at the end of a line.

-- Session and configuration

CREATE TABLE IF NOT EXISTS Sucursales (
    nIdSucursal INTEGER PRIMARY KEY,
    sSucursal TEXT NOT NULL DEFAULT '',
    bActivo INTEGER NOT NULL DEFAULT 1
);

CREATE TABLE IF NOT EXISTS UsuariosGrupos (
    nIdUsuarioGrupo INTEGER PRIMARY KEY,
    sUsuarioGrupo TEXT NOT NULL DEFAULT ''
);

CREATE TABLE IF NOT EXISTS Usuarios (
    nIdUsuario INTEGER PRIMARY KEY,
    sUsuario TEXT NOT NULL,
    sNombreCompleto TEXT DEFAULT '',
    bClave INTEGER NOT NULL DEFAULT 0,
    sClave TEXT DEFAULT '',
    nIdSucursal INTEGER NOT NULL DEFAULT 0,
    bAccesoInterSuc INTEGER NOT NULL DEFAULT 0,
    bAccesoInterUsr INTEGER NOT NULL DEFAULT 0,
    nIdUsuarioGrupo INTEGER NOT NULL DEFAULT 0,
    nCajaPara_Facturas INTEGER NOT NULL DEFAULT 0,
    nCajaPara_PagosClientes INTEGER NOT NULL DEFAULT 0,
    nCajaPara_EntradasCaja INTEGER NOT NULL DEFAULT 0,
    nCajaPara_SalidasCaja INTEGER NOT NULL DEFAULT 0,
    bActivo INTEGER NOT NULL DEFAULT 1
);
CREATE UNIQUE INDEX IF NOT EXISTS ixUsuarios_sUsuario ON Usuarios (sUsuario);

CREATE TABLE IF NOT EXISTS Accesos (
    nIdAcceso INTEGER PRIMARY KEY,
    sAcceso TEXT NOT NULL,
    sDescripcion TEXT DEFAULT ''
);
CREATE UNIQUE INDEX IF NOT EXISTS ixAccesos_sAcceso ON Accesos (sAcceso);

CREATE TABLE IF NOT EXISTS AccesosGrupos (
    nIdAccesoGrupo INTEGER PRIMARY KEY,
    nIdAcceso INTEGER NOT NULL,
    nIdUsuarioGrupo INTEGER NOT NULL,
    bAcceso INTEGER NOT NULL DEFAULT 0
);
CREATE UNIQUE INDEX IF NOT EXISTS ixAccesosGrupos_Acceso ON AccesosGrupos (nIdAcceso, nIdUsuarioGrupo);

-- A counter per name and branch; document numbers have one per series and year as well (the
-- counters of the suite's other documents keep series '' and year 0).
CREATE TABLE IF NOT EXISTS Contadores (
    nIdContador INTEGER PRIMARY KEY,
    sId TEXT NOT NULL,
    nIdSucursal INTEGER NOT NULL DEFAULT 0,
    nContador INTEGER NOT NULL DEFAULT 1,
    sSerie TEXT NOT NULL DEFAULT '',
    nAnio INTEGER NOT NULL DEFAULT 0
);
DROP INDEX IF EXISTS ixContadores_sId;
CREATE UNIQUE INDEX IF NOT EXISTS ixContadores_Serie ON Contadores (sId, nIdSucursal, sSerie, nAnio);

CREATE TABLE IF NOT EXISTS ConfiguracionEmpresa (
    nIdConfiguracionEmpresa INTEGER PRIMARY KEY,
    sNombre TEXT DEFAULT '',
    sNif TEXT DEFAULT '',
    sDomicilio TEXT DEFAULT '',
    sPoblacion TEXT DEFAULT '',
    sProvincia TEXT DEFAULT '',
    sCodigoPostal TEXT DEFAULT '',
    sTelefono TEXT DEFAULT '',
    sEmail TEXT DEFAULT ''
);

CREATE TABLE IF NOT EXISTS ConfiguracionSucursales (
    nIdConfiguracionSucursal INTEGER PRIMARY KEY,
    nIdSucursal INTEGER NOT NULL,
    sDato TEXT NOT NULL,
    sValor TEXT DEFAULT ''
);
CREATE UNIQUE INDEX IF NOT EXISTS ixConfiguracionSucursales_Dato ON ConfiguracionSucursales (nIdSucursal, sDato);

CREATE TABLE IF NOT EXISTS Empleados (
    nIdEmpleado INTEGER PRIMARY KEY,
    sEmpleado TEXT NOT NULL DEFAULT '',
    sCategoria TEXT DEFAULT '',
    sNumColegiado TEXT DEFAULT '',
    nIdSucursal INTEGER DEFAULT 0,
    bActivo INTEGER NOT NULL DEFAULT 1
);

-- Clients, pets and products

CREATE TABLE IF NOT EXISTS Clientes (
    nIdCliente INTEGER PRIMARY KEY,
    sCliente TEXT NOT NULL DEFAULT '',
    sDomicilio TEXT DEFAULT '',
    sPoblacion TEXT DEFAULT '',
    sProvincia TEXT DEFAULT '',
    sCodigoPostal TEXT DEFAULT '',
    sDni TEXT DEFAULT '',
    sTelefono TEXT DEFAULT '',
    sMovil TEXT DEFAULT '',
    sEmail TEXT DEFAULT '',
    sObservaciones TEXT DEFAULT '',
    dAlta INTEGER DEFAULT 0,
    nIdSucursal INTEGER DEFAULT 0,
    nPvpUtilizado INTEGER NOT NULL DEFAULT 1,
    nFacturado DOUBLE PRECISION NOT NULL DEFAULT 0,
    nPagado DOUBLE PRECISION NOT NULL DEFAULT 0,
    nSaldo DOUBLE PRECISION NOT NULL DEFAULT 0,
    bActivo INTEGER NOT NULL DEFAULT 1,
    -- The branch's counter customer (walk-in sales): no balance, and no list of clients offers it.
    bMostrador INTEGER NOT NULL DEFAULT 0
);
CREATE INDEX IF NOT EXISTS ixClientes_sCliente ON Clientes (sCliente);
CREATE INDEX IF NOT EXISTS ixClientes_bMostrador ON Clientes (bMostrador, nIdSucursal);

CREATE TABLE IF NOT EXISTS TipoEspecie (
    nIdTipoEspecie INTEGER PRIMARY KEY,
    sTipoEspecie TEXT NOT NULL DEFAULT ''
);

CREATE TABLE IF NOT EXISTS Mascotas (
    nIdMascota INTEGER PRIMARY KEY,
    sMascota TEXT NOT NULL DEFAULT '',
    nIdCliente INTEGER NOT NULL DEFAULT 0,
    nIdTipoEspecie INTEGER DEFAULT 0,
    nIdEmpleado INTEGER DEFAULT 0,
    sRaza TEXT DEFAULT '',
    sSexo TEXT DEFAULT '',
    sColor TEXT DEFAULT '',
    sChip TEXT DEFAULT '',
    dNacimiento INTEGER DEFAULT 0,
    nPeso DOUBLE PRECISION DEFAULT 0,
    bActivo INTEGER NOT NULL DEFAULT 1
);
CREATE INDEX IF NOT EXISTS ixMascotas_sMascota ON Mascotas (sMascota);
CREATE INDEX IF NOT EXISTS ixMascotas_nIdCliente ON Mascotas (nIdCliente);

CREATE TABLE IF NOT EXISTS ProductosServicios (
    nIdProductoServicio INTEGER PRIMARY KEY,
    sProductoServicio TEXT NOT NULL DEFAULT '',
    sCodigo TEXT DEFAULT '',
    sFamilia TEXT DEFAULT '',
    nPvp DOUBLE PRECISION NOT NULL DEFAULT 0,
    nPvp1 DOUBLE PRECISION NOT NULL DEFAULT 0,
    nPvp2 DOUBLE PRECISION NOT NULL DEFAULT 0,
    nPvp3 DOUBLE PRECISION NOT NULL DEFAULT 0,
    nPvp4 DOUBLE PRECISION NOT NULL DEFAULT 0,
    nPvp5 DOUBLE PRECISION NOT NULL DEFAULT 0,
    nPvd DOUBLE PRECISION NOT NULL DEFAULT 0,
    nPorcIpto DOUBLE PRECISION NOT NULL DEFAULT 0,
    bProducto INTEGER NOT NULL DEFAULT 0,
    nStockActual DOUBLE PRECISION NOT NULL DEFAULT 0,
    nStockMinimo DOUBLE PRECISION NOT NULL DEFAULT 0,
    bVacuna INTEGER NOT NULL DEFAULT 0,
    nCadencia INTEGER NOT NULL DEFAULT 0,
    bActivo INTEGER NOT NULL DEFAULT 1,
    bLuzAguaTelefono INTEGER NOT NULL DEFAULT 0
);
CREATE INDEX IF NOT EXISTS ixProductosServicios_sProductoServicio ON ProductosServicios (sProductoServicio);
CREATE INDEX IF NOT EXISTS ixProductosServicios_sCodigo ON ProductosServicios (sCodigo);

CREATE TABLE IF NOT EXISTS MascotasProdServ (
    nIdMascotaProdServ INTEGER PRIMARY KEY,
    nIdMascota INTEGER NOT NULL DEFAULT 0,
    dFactura INTEGER DEFAULT 0,
    nIdProductoServicio INTEGER DEFAULT 0,
    sConclusion TEXT DEFAULT '',
    nIdFactura INTEGER DEFAULT 0
);
CREATE INDEX IF NOT EXISTS ixMascotasProdServ_nIdFactura ON MascotasProdServ (nIdFactura);
CREATE INDEX IF NOT EXISTS ixMascotasProdServ_nIdMascota ON MascotasProdServ (nIdMascota);

CREATE TABLE IF NOT EXISTS Vacunaciones (
    nIdVacunacion INTEGER PRIMARY KEY,
    nIdFactura INTEGER DEFAULT 0,
    nIdFacturaItem INTEGER DEFAULT 0,
    nIdProductoServicio INTEGER DEFAULT 0,
    nIdMascota INTEGER DEFAULT 0,
    dVacunado INTEGER DEFAULT 0,
    dProximaVacuna INTEGER DEFAULT 0
);
CREATE INDEX IF NOT EXISTS ixVacunaciones_nIdFactura ON Vacunaciones (nIdFactura);
CREATE INDEX IF NOT EXISTS ixVacunaciones_nIdMascota ON Vacunaciones (nIdMascota);

-- Invoices and payments. Later code reads Facturas and FacturasCobros by column position, so
-- the order of their columns is part of the contract: in Facturas the identifiers stand at
-- positions 1 to 5 and sFactura at 6, with only amounts, texts and dates after them; in
-- FacturasCobros nIdCliente, nImporte and nIdTipoMovimiento are the 5th, 6th and 8th columns.

CREATE TABLE IF NOT EXISTS FacturasItems (
    nIdFacturaItem INTEGER PRIMARY KEY,
    nIdFactura INTEGER,
    nIdCliente INTEGER NOT NULL DEFAULT 0,
    nIdMascota INTEGER DEFAULT 0,
    nIdProductoServicio INTEGER DEFAULT 0,
    sConclusion TEXT DEFAULT '',
    nUnidades DOUBLE PRECISION NOT NULL DEFAULT 0,
    nPvp DOUBLE PRECISION NOT NULL DEFAULT 0,
    nBaseImp DOUBLE PRECISION NOT NULL DEFAULT 0,
    nPorcIpto DOUBLE PRECISION NOT NULL DEFAULT 0,
    nImpuestos DOUBLE PRECISION NOT NULL DEFAULT 0,
    nTotal DOUBLE PRECISION NOT NULL DEFAULT 0,
    -- A pending line that came back from a rectifying invoice or a cancellation: that document.
    nIdFacturaOrigen INTEGER DEFAULT 0
);
CREATE INDEX IF NOT EXISTS ixFacturasItems_Cliente ON FacturasItems (nIdCliente, nIdFactura);
CREATE INDEX IF NOT EXISTS ixFacturasItems_nIdFactura ON FacturasItems (nIdFactura);
CREATE INDEX IF NOT EXISTS ixFacturasItems_nIdFacturaOrigen ON FacturasItems (nIdFacturaOrigen);

CREATE TABLE IF NOT EXISTS Facturas (
    nIdFactura INTEGER PRIMARY KEY,
    nIdSucursal INTEGER NOT NULL DEFAULT 0,
    nIdCliente INTEGER NOT NULL DEFAULT 0,
    nIdUsuario INTEGER DEFAULT 0,
    nIdEmpleado INTEGER DEFAULT 0,
    nIdCaja INTEGER DEFAULT 0,
    sFactura TEXT NOT NULL DEFAULT '',
    sCliente TEXT DEFAULT '',
    sDomicilio TEXT DEFAULT '',
    sPoblacion TEXT DEFAULT '',
    sProvincia TEXT DEFAULT '',
    sCodigoPostal TEXT DEFAULT '',
    sDni TEXT DEFAULT '',
    dFactura INTEGER NOT NULL DEFAULT 0,
    nPo_1 DOUBLE PRECISION NOT NULL DEFAULT 0,
    nBi_1 DOUBLE PRECISION NOT NULL DEFAULT 0,
    nIm_1 DOUBLE PRECISION NOT NULL DEFAULT 0,
    nPo_2 DOUBLE PRECISION NOT NULL DEFAULT 0,
    nBi_2 DOUBLE PRECISION NOT NULL DEFAULT 0,
    nIm_2 DOUBLE PRECISION NOT NULL DEFAULT 0,
    nPo_3 DOUBLE PRECISION NOT NULL DEFAULT 0,
    nBi_3 DOUBLE PRECISION NOT NULL DEFAULT 0,
    nIm_3 DOUBLE PRECISION NOT NULL DEFAULT 0,
    nBi_Total DOUBLE PRECISION NOT NULL DEFAULT 0,
    nIm_Total DOUBLE PRECISION NOT NULL DEFAULT 0,
    nTotal DOUBLE PRECISION NOT NULL DEFAULT 0,
    nDescuento DOUBLE PRECISION NOT NULL DEFAULT 0,
    nExento DOUBLE PRECISION NOT NULL DEFAULT 0,
    sFacturaAbonada TEXT DEFAULT '',
    dFacturaAbonada INTEGER DEFAULT 0,
    -- F1, F2 or R5 as the tax agency types them; empty on older rows (an F1, or a rectifying
    -- invoice typed by its reason). A foreign customer's document: country and type, the number
    -- in sDni.
    sTipoFactura TEXT DEFAULT '',
    sIdOtroPais TEXT DEFAULT '',
    sIdOtroTipo TEXT DEFAULT '',
    -- On a complete invoice that replaces simplified ones (F3), their numbers as it prints them
    -- ("TA0001/26, TA0002/26"); FacturasSustituidas links them by id.
    sFacturasSustituidas TEXT DEFAULT ''
);
CREATE INDEX IF NOT EXISTS ixFacturas_nIdCliente ON Facturas (nIdCliente);
CREATE INDEX IF NOT EXISTS ixFacturas_sFactura ON Facturas (sFactura);
CREATE INDEX IF NOT EXISTS ixFacturas_sFacturaAbonada ON Facturas (sFacturaAbonada);
CREATE INDEX IF NOT EXISTS ixFacturas_Sucursal_dFactura ON Facturas (nIdSucursal, dFactura);
CREATE INDEX IF NOT EXISTS ixFacturas_Sucursal_dFacturaAbonada ON Facturas (nIdSucursal, dFacturaAbonada);

-- What an invoice or credit note says per rate once the discount is taken off the base (the
-- Facturas columns keep the undiscounted figures); written in the document's transaction.
CREATE TABLE IF NOT EXISTS FacturasDesglose (
    nIdFacturaDesglose INTEGER PRIMARY KEY,
    nIdFactura INTEGER NOT NULL DEFAULT 0,
    nPorcIpto DOUBLE PRECISION NOT NULL DEFAULT 0,
    nBaseImponible DOUBLE PRECISION NOT NULL DEFAULT 0,
    nCuota DOUBLE PRECISION NOT NULL DEFAULT 0
);
CREATE INDEX IF NOT EXISTS ixFacturasDesglose_nIdFactura ON FacturasDesglose (nIdFactura);

-- The reason of a rectifying invoice: R1 to R4 as the tax agency names them, R4 by default.
CREATE TABLE IF NOT EXISTS FacturasRectificativas (
    nIdFacturaRectificativa INTEGER PRIMARY KEY,
    nIdFactura INTEGER NOT NULL DEFAULT 0,
    sMotivo TEXT NOT NULL DEFAULT 'R4',
    sTextoMotivo TEXT DEFAULT ''
);
CREATE INDEX IF NOT EXISTS ixFacturasRectificativas_nIdFactura ON FacturasRectificativas (nIdFactura);

CREATE TABLE IF NOT EXISTS FacturasCobros (
    nIdFacturaCobro INTEGER PRIMARY KEY,
    nIdFactura INTEGER NOT NULL DEFAULT 0,
    sObservaciones TEXT DEFAULT '',
    dFactura INTEGER DEFAULT 0,
    nIdCliente INTEGER NOT NULL DEFAULT 0,
    nImporte DOUBLE PRECISION NOT NULL DEFAULT 0,
    nIdTipoCobro INTEGER DEFAULT 0,
    nIdTipoMovimiento INTEGER DEFAULT 0
);
CREATE INDEX IF NOT EXISTS ixFacturasCobros_nIdFactura ON FacturasCobros (nIdFactura);
CREATE INDEX IF NOT EXISTS ixFacturasCobros_nIdCliente ON FacturasCobros (nIdCliente);

-- The invoice each credit note rectifies, by id. An invoice may be rectified in parts, so it may
-- have several; folders made when it could have one only lose that unique index here.
CREATE TABLE IF NOT EXISTS Abonos (
    nIdAbono INTEGER PRIMARY KEY,
    nIdFactura INTEGER NOT NULL,
    nIdFacturaAbonada INTEGER NOT NULL
);
DROP INDEX IF EXISTS ixAbonos_nIdFacturaAbonada;
CREATE INDEX IF NOT EXISTS ixAbonos_FacturaAbonada ON Abonos (nIdFacturaAbonada);
CREATE INDEX IF NOT EXISTS ixAbonos_nIdFactura ON Abonos (nIdFactura);

-- The units of each invoice line (nIdFacturaItem) that a credit note (nIdFactura) rectifies:
-- what is left to rectify is the line's units less these.
CREATE TABLE IF NOT EXISTS AbonosItems (
    nIdAbonoItem INTEGER PRIMARY KEY,
    nIdFactura INTEGER NOT NULL,
    nIdFacturaItem INTEGER NOT NULL,
    nUnidades DOUBLE PRECISION NOT NULL DEFAULT 0
);
CREATE INDEX IF NOT EXISTS ixAbonosItems_nIdFacturaItem ON AbonosItems (nIdFacturaItem);
CREATE INDEX IF NOT EXISTS ixAbonosItems_nIdFactura ON AbonosItems (nIdFactura);

CREATE TABLE IF NOT EXISTS TipoMovimiento (
    nIdTipoMovimiento INTEGER PRIMARY KEY,
    sTipoMovimiento TEXT NOT NULL DEFAULT '',
    bEntrada INTEGER NOT NULL DEFAULT 0
);

CREATE TABLE IF NOT EXISTS TipoCobro (
    nIdTipoCobro INTEGER PRIMARY KEY,
    sTipoCobro TEXT NOT NULL DEFAULT '',
    nIdTipoMovimiento INTEGER NOT NULL DEFAULT 0,
    bActivo INTEGER NOT NULL DEFAULT 1,
    nIdCaja INTEGER NOT NULL DEFAULT 0
);
CREATE INDEX IF NOT EXISTS ixTipoCobro_sTipoCobro ON TipoCobro (sTipoCobro);

CREATE TABLE IF NOT EXISTS TipoCaja (
    nIdTipoCaja INTEGER PRIMARY KEY,
    sTipoCaja TEXT NOT NULL DEFAULT '',
    bCajaExtra INTEGER NOT NULL DEFAULT 0
);

CREATE TABLE IF NOT EXISTS ApuntesCaja (
    nIdApunteCaja INTEGER PRIMARY KEY,
    nIdCaja INTEGER NOT NULL DEFAULT 0,
    sReferencia TEXT DEFAULT '',
    sTitular TEXT DEFAULT '',
    dApunte INTEGER NOT NULL DEFAULT 0,
    nIdUsuario INTEGER DEFAULT 0,
    nIdTipoMovimiento INTEGER DEFAULT 0,
    nImporte DOUBLE PRECISION NOT NULL DEFAULT 0,
    sDocumento TEXT DEFAULT '',
    sSubcuenta TEXT DEFAULT '',
    sObservaciones TEXT DEFAULT '',
    nIdFactura INTEGER DEFAULT 0,
    nIdTipoCobro INTEGER DEFAULT 0,
    nIdCierreCaja INTEGER DEFAULT 0
);
CREATE INDEX IF NOT EXISTS ixApuntesCaja_sDocumento ON ApuntesCaja (sDocumento);
CREATE INDEX IF NOT EXISTS ixApuntesCaja_nIdFactura ON ApuntesCaja (nIdFactura);
CREATE INDEX IF NOT EXISTS ixApuntesCaja_Caja ON ApuntesCaja (nIdCaja, dApunte);
-- A box's open period is read from this index: its entries after the last one its last closing
-- took, summed by payment type and document. The closing's id is in no index, so that marking a
-- period's entries rewrites no index entry (a server keeps each new version on its entry's page).
CREATE INDEX IF NOT EXISTS ixApuntesCaja_Periodo ON ApuntesCaja (nIdCaja, nIdApunteCaja, nIdTipoCobro, nIdFactura, nImporte, dApunte);

-- The closings of a cash box: what it should have held per payment type since the one before,
-- what was counted, the float kept and what was taken out. nNumero runs per box and never
-- repeats; dDesde/sHoraDesde is where the previous closing ended (the day a shift belongs to),
-- dHasta/sHoraHasta when this one was made, nHastaApunte the last entry it took (every later
-- entry of the box has a higher id). Written once, like the register, and never changed: the
-- box's entries carry the closing's id, and nothing may be booked into the box before dHasta.
CREATE TABLE IF NOT EXISTS CierresCaja (
    nIdCierreCaja INTEGER PRIMARY KEY,
    nIdCaja INTEGER NOT NULL DEFAULT 0,
    nNumero INTEGER NOT NULL DEFAULT 0,
    nIdSucursal INTEGER NOT NULL DEFAULT 0,
    nIdUsuario INTEGER NOT NULL DEFAULT 0,
    dDesde INTEGER NOT NULL DEFAULT 0,
    sHoraDesde TEXT NOT NULL DEFAULT '',
    dHasta INTEGER NOT NULL DEFAULT 0,
    sHoraHasta TEXT NOT NULL DEFAULT '',
    nFondoInicial DOUBLE PRECISION NOT NULL DEFAULT 0,
    nEsperado DOUBLE PRECISION NOT NULL DEFAULT 0,
    nContado DOUBLE PRECISION NOT NULL DEFAULT 0,
    nDiferencia DOUBLE PRECISION NOT NULL DEFAULT 0,
    nFondoDejado DOUBLE PRECISION NOT NULL DEFAULT 0,
    nRetirado DOUBLE PRECISION NOT NULL DEFAULT 0,
    nApuntes INTEGER NOT NULL DEFAULT 0,
    nDocumentos INTEGER NOT NULL DEFAULT 0,
    sNota TEXT NOT NULL DEFAULT '',
    nHastaApunte INTEGER NOT NULL DEFAULT 0
);
CREATE UNIQUE INDEX IF NOT EXISTS uxCierresCaja_Numero ON CierresCaja (nIdCaja, nNumero);
CREATE INDEX IF NOT EXISTS ixCierresCaja_Caja_dHasta ON CierresCaja (nIdCaja, dHasta);

-- One line per payment type of a closing: the period's entries by kind, expected, counted.
CREATE TABLE IF NOT EXISTS CierresCajaLineas (
    nIdCierreCajaLinea INTEGER PRIMARY KEY,
    nIdCierreCaja INTEGER NOT NULL DEFAULT 0,
    nIdTipoCobro INTEGER NOT NULL DEFAULT 0,
    sTipoCobro TEXT NOT NULL DEFAULT '',
    nFacturas DOUBLE PRECISION NOT NULL DEFAULT 0,
    nAbonos DOUBLE PRECISION NOT NULL DEFAULT 0,
    nEntradas DOUBLE PRECISION NOT NULL DEFAULT 0,
    nSalidas DOUBLE PRECISION NOT NULL DEFAULT 0,
    nEsperado DOUBLE PRECISION NOT NULL DEFAULT 0,
    nContado DOUBLE PRECISION NOT NULL DEFAULT 0,
    nDiferencia DOUBLE PRECISION NOT NULL DEFAULT 0,
    nApuntes INTEGER NOT NULL DEFAULT 0
);
CREATE INDEX IF NOT EXISTS ixCierresCajaLineas_nIdCierreCaja ON CierresCajaLineas (nIdCierreCaja);

-- The register of issued invoices and credit notes: one record each, chained by fingerprint
-- per issuer. The texts are stored exactly as they went into the fingerprint.

CREATE TABLE IF NOT EXISTS RegistrosFacturacion (
    nIdRegistro INTEGER PRIMARY KEY,
    nIdFactura INTEGER NOT NULL DEFAULT 0,
    sIdEmisor TEXT NOT NULL DEFAULT '',
    sNumSerie TEXT NOT NULL DEFAULT '',
    sFechaExpedicion TEXT NOT NULL DEFAULT '',
    sTipoFactura TEXT NOT NULL DEFAULT '',
    sFacturaRectificada TEXT NOT NULL DEFAULT '',
    sCuotaTotal TEXT NOT NULL DEFAULT '',
    sImporteTotal TEXT NOT NULL DEFAULT '',
    sHuellaAnterior TEXT NOT NULL DEFAULT '',
    sFechaHoraHuso TEXT NOT NULL DEFAULT '',
    sHuella TEXT NOT NULL DEFAULT '',
    sTipoRegistro TEXT NOT NULL DEFAULT 'Alta'
);
CREATE INDEX IF NOT EXISTS ixRegistrosFacturacion_Emisor ON RegistrosFacturacion (sIdEmisor, nIdRegistro);
CREATE INDEX IF NOT EXISTS ixRegistrosFacturacion_nIdFactura ON RegistrosFacturacion (nIdFactura);

-- Each record as the clinic signed it when it keeps its records (no sending): the agency's
-- RegistroAlta or RegistroAnulacion with its XAdES signature, exactly as signed.

CREATE TABLE IF NOT EXISTS RegistrosFirmados (
    nIdRegistro INTEGER PRIMARY KEY,
    sXml TEXT NOT NULL DEFAULT ''
);

-- The system's event log of a register kept without sending: each RegistroEvento signed as it
-- was made (sXml), chained by its fingerprint (sHuella) to the one before (sHuellaAnterior).
-- Append-only like the register.

CREATE TABLE IF NOT EXISTS EventosSIF (
    nIdEvento INTEGER PRIMARY KEY,
    sTipoEvento TEXT NOT NULL DEFAULT '',
    sFechaHoraHuso TEXT NOT NULL DEFAULT '',
    sHuellaAnterior TEXT NOT NULL DEFAULT '',
    sHuella TEXT NOT NULL DEFAULT '',
    sXml TEXT NOT NULL DEFAULT ''
);

-- Documents cancelled because they were issued in error: kept, with why and by whom. A
-- cancelled document leaves the books and cannot be cancelled, rectified or replaced again.

CREATE TABLE IF NOT EXISTS FacturasAnuladas (
    nIdFacturaAnulada INTEGER PRIMARY KEY,
    nIdFactura INTEGER NOT NULL DEFAULT 0,
    sMotivo TEXT NOT NULL DEFAULT '',
    dAnulacion INTEGER NOT NULL DEFAULT 0,
    nIdUsuario INTEGER NOT NULL DEFAULT 0
);
CREATE UNIQUE INDEX IF NOT EXISTS uxFacturasAnuladas_nIdFactura ON FacturasAnuladas (nIdFactura);

-- Each simplified invoice (nIdFacturaSimplificada) that a complete one (nIdFactura, an F3)
-- replaces; a simplified invoice is replaced once.
CREATE TABLE IF NOT EXISTS FacturasSustituidas (
    nIdFacturaSustituida INTEGER PRIMARY KEY,
    nIdFactura INTEGER NOT NULL DEFAULT 0,
    nIdFacturaSimplificada INTEGER NOT NULL DEFAULT 0
);
CREATE UNIQUE INDEX IF NOT EXISTS uxFacturasSustituidas_Simplificada ON FacturasSustituidas (nIdFacturaSimplificada);
CREATE INDEX IF NOT EXISTS ixFacturasSustituidas_nIdFactura ON FacturasSustituidas (nIdFactura);

-- Records sent to the tax agency (VERI*FACTU mode). The register's rows may not change, so what
-- the agency answered for each is kept beside them: one row per record sent, none while it waits.
-- sEstado: Correcto, AceptadoConErrores, Incorrecto, Subsanar (rejected, to be sent again) or
-- Conflicto (the agency holds another record under its number: a person must look).

CREATE TABLE IF NOT EXISTS RegistrosEnvio (
    nIdRegistroEnvio INTEGER PRIMARY KEY,
    nIdRegistro INTEGER NOT NULL DEFAULT 0,
    nIdEnvio INTEGER NOT NULL DEFAULT 0,
    sEstado TEXT NOT NULL DEFAULT '',
    nCodigoError INTEGER NOT NULL DEFAULT 0,
    sDescripcionError TEXT NOT NULL DEFAULT '',
    sCsv TEXT NOT NULL DEFAULT '',
    sFechaHoraEnvio TEXT NOT NULL DEFAULT '',
    nEnvios INTEGER NOT NULL DEFAULT 0
);
CREATE UNIQUE INDEX IF NOT EXISTS ixRegistrosEnvio_nIdRegistro ON RegistrosEnvio (nIdRegistro);
CREATE INDEX IF NOT EXISTS ixRegistrosEnvio_sEstado ON RegistrosEnvio (sEstado);

-- Every submission to the agency, answered or failed: its time (UTC), the agency's state of the
-- whole, its CSV and the wait it asked for before the next one; sError what went wrong. The row
-- is written before the post, saying that no answer came, and rewritten when one does.

-- sRequerimiento: the agency's request reference when the submission hands over kept records at
-- its request, empty for the records sent as they are made.

CREATE TABLE IF NOT EXISTS EnviosAeat (
    nIdEnvio INTEGER PRIMARY KEY,
    sFechaHora TEXT NOT NULL DEFAULT '',
    nRegistros INTEGER NOT NULL DEFAULT 0,
    sEstadoEnvio TEXT NOT NULL DEFAULT '',
    sCsv TEXT NOT NULL DEFAULT '',
    nTiempoEspera INTEGER NOT NULL DEFAULT 0,
    sError TEXT NOT NULL DEFAULT '',
    sRequerimiento TEXT NOT NULL DEFAULT ''
);

-- Which records each submission carried, written and committed before it is posted: after a
-- crash, or an answer lost, the sender knows what the agency may already hold, and with which
-- fingerprint.

-- sEstado: what the agency answered for the record in that submission, empty until it answers.

CREATE TABLE IF NOT EXISTS RegistrosEnviados (
    nIdRegistroEnviado INTEGER PRIMARY KEY,
    nIdEnvio INTEGER NOT NULL DEFAULT 0,
    nIdRegistro INTEGER NOT NULL DEFAULT 0,
    sHuella TEXT NOT NULL DEFAULT '',
    sEstado TEXT NOT NULL DEFAULT ''
);
CREATE INDEX IF NOT EXISTS ixRegistrosEnviados_nIdRegistro ON RegistrosEnviados (nIdRegistro);
CREATE INDEX IF NOT EXISTS ixRegistrosEnviados_nIdEnvio ON RegistrosEnviados (nIdEnvio);

-- The register's mode as it changed: each row the mode the module found in the ini when it
-- differed from the last one (VERIFACTU sends the records as they are made, NOVERIFACTU signs
-- and keeps them), since when (UTC), and the last record made before. Records made before a
-- change to VERIFACTU are never sent as new ones: they were kept, signed, and go to the agency
-- when it asks for them.

CREATE TABLE IF NOT EXISTS ModosRegistro (
    nIdModoRegistro INTEGER PRIMARY KEY,
    sModo TEXT NOT NULL DEFAULT '',
    sDesde TEXT NOT NULL DEFAULT '',
    nUltimoRegistroAnterior INTEGER NOT NULL DEFAULT 0
);

-- The sender's turn: one row, held by one workstation's sender (sTitular: host, process and a
-- token of its own) until sHasta (UTC). It is taken and renewed under a row lock in the sender's
-- transactions and lives in the data, so a connection lost and opened again keeps it.

CREATE TABLE IF NOT EXISTS TurnoEnvio (
    nIdTurnoEnvio INTEGER PRIMARY KEY,
    sTitular TEXT NOT NULL DEFAULT '',
    sHost TEXT NOT NULL DEFAULT '',
    nPid INTEGER NOT NULL DEFAULT 0,
    sHasta TEXT NOT NULL DEFAULT ''
);
INSERT INTO TurnoEnvio (nIdTurnoEnvio) SELECT 1 WHERE NOT EXISTS (SELECT 1 FROM TurnoEnvio);

-- Supplier documents: read for their totals per tax rate; the headers receive the breakdown.

CREATE TABLE IF NOT EXISTS Proveedores (
    nIdProveedor INTEGER PRIMARY KEY,
    sProveedor TEXT NOT NULL DEFAULT '',
    sNif TEXT DEFAULT '',
    sTelefono TEXT DEFAULT ''
);

CREATE TABLE IF NOT EXISTS ProvCompras (
    nIdProvCompra INTEGER PRIMARY KEY,
    nIdProveedor INTEGER NOT NULL DEFAULT 0,
    nPedido INTEGER DEFAULT 0,
    dPedido INTEGER DEFAULT 0,
    nIdProductoServicio INTEGER DEFAULT 0,
    nUnidades DOUBLE PRECISION NOT NULL DEFAULT 0,
    nPvd DOUBLE PRECISION NOT NULL DEFAULT 0,
    nPorcIpto DOUBLE PRECISION NOT NULL DEFAULT 0
);
CREATE INDEX IF NOT EXISTS ixProvCompras_nIdProveedor ON ProvCompras (nIdProveedor, dPedido);
CREATE INDEX IF NOT EXISTS ixProvCompras_nPedido ON ProvCompras (nPedido);

CREATE TABLE IF NOT EXISTS ProvFacturas (
    nIdFactura INTEGER PRIMARY KEY,
    nIdProveedor INTEGER NOT NULL DEFAULT 0,
    sFactura TEXT DEFAULT '',
    dFactura INTEGER DEFAULT 0,
    nBI_1 DOUBLE PRECISION NOT NULL DEFAULT 0,
    nIm_1 DOUBLE PRECISION NOT NULL DEFAULT 0,
    nBi_2 DOUBLE PRECISION NOT NULL DEFAULT 0,
    nIm_2 DOUBLE PRECISION NOT NULL DEFAULT 0,
    nBi_3 DOUBLE PRECISION NOT NULL DEFAULT 0,
    nIm_3 DOUBLE PRECISION NOT NULL DEFAULT 0,
    nBi_Total DOUBLE PRECISION NOT NULL DEFAULT 0,
    nIm_Total DOUBLE PRECISION NOT NULL DEFAULT 0
);

CREATE TABLE IF NOT EXISTS ProvFacturasItems (
    nIdProvFacturaItem INTEGER PRIMARY KEY,
    nIdFactura INTEGER NOT NULL DEFAULT 0,
    nIdProductoServicio INTEGER DEFAULT 0,
    nUnidades DOUBLE PRECISION NOT NULL DEFAULT 0,
    nPvd DOUBLE PRECISION NOT NULL DEFAULT 0,
    nPorcIpto DOUBLE PRECISION NOT NULL DEFAULT 0
);
CREATE INDEX IF NOT EXISTS ixProvFacturasItems_nIdFactura ON ProvFacturasItems (nIdFactura);

CREATE TABLE IF NOT EXISTS ProvAlbaranes (
    nIdAlbaran INTEGER PRIMARY KEY,
    nIdProveedor INTEGER NOT NULL DEFAULT 0,
    sAlbaran TEXT DEFAULT '',
    dAlbaran INTEGER DEFAULT 0,
    nBI_1 DOUBLE PRECISION NOT NULL DEFAULT 0,
    nIm_1 DOUBLE PRECISION NOT NULL DEFAULT 0,
    nBi_2 DOUBLE PRECISION NOT NULL DEFAULT 0,
    nIm_2 DOUBLE PRECISION NOT NULL DEFAULT 0,
    nBi_3 DOUBLE PRECISION NOT NULL DEFAULT 0,
    nIm_3 DOUBLE PRECISION NOT NULL DEFAULT 0,
    nBi_Total DOUBLE PRECISION NOT NULL DEFAULT 0,
    nIm_Total DOUBLE PRECISION NOT NULL DEFAULT 0
);

CREATE TABLE IF NOT EXISTS ProvAlbaranesItems (
    nIdProvAlbaranItem INTEGER PRIMARY KEY,
    nIdAlbaran INTEGER NOT NULL DEFAULT 0,
    nIdProductoServicio INTEGER DEFAULT 0,
    nUnidades DOUBLE PRECISION NOT NULL DEFAULT 0,
    nPvd DOUBLE PRECISION NOT NULL DEFAULT 0,
    nPorcIpto DOUBLE PRECISION NOT NULL DEFAULT 0
);
CREATE INDEX IF NOT EXISTS ixProvAlbaranesItems_nIdAlbaran ON ProvAlbaranesItems (nIdAlbaran);

-- Row locks between processes sharing one SQLite file; a server engine uses its own locks.

CREATE TABLE IF NOT EXISTS TvBloqueos (sTabla TEXT NOT NULL, nIdRegistro INTEGER NOT NULL, sHost TEXT NOT NULL, nPid INTEGER NOT NULL, nDesde INTEGER NOT NULL, PRIMARY KEY (sTabla, nIdRegistro));

-- Outgoing e-mail through the branch's own account, written before it is sent so that nothing is
-- lost. sEstado: pendiente (waits, sProximoIntento says from when), enviando (a desk has taken it;
-- its content has not gone out), transmitiendo (its content is going out), aceptado (the server
-- took it; sRespuesta is its answer with its queue id), dudoso (interrupted after the content went
-- out: it may have been accepted, so it is only sent again when somebody says so). Times are UTC,
-- ISO 8601. The account's password is never stored here.
CREATE TABLE IF NOT EXISTS CorreosSalientes (
    nIdCorreo INTEGER PRIMARY KEY,
    nIdFactura INTEGER NOT NULL DEFAULT 0,
    nIdSucursal INTEGER NOT NULL DEFAULT 0,
    sPara TEXT NOT NULL DEFAULT '',
    sCc TEXT NOT NULL DEFAULT '',
    sAsunto TEXT NOT NULL DEFAULT '',
    sMessageId TEXT NOT NULL DEFAULT '',
    sMensaje TEXT NOT NULL DEFAULT '',
    sEstado TEXT NOT NULL DEFAULT 'pendiente',
    nIntentos INTEGER NOT NULL DEFAULT 0,
    sUltimoError TEXT NOT NULL DEFAULT '',
    sRespuesta TEXT NOT NULL DEFAULT '',
    sPropietario TEXT NOT NULL DEFAULT '',
    sCreado TEXT NOT NULL DEFAULT '',
    sProximoIntento TEXT NOT NULL DEFAULT '',
    sEnviado TEXT NOT NULL DEFAULT ''
);
CREATE INDEX IF NOT EXISTS ixCorreosSalientes_sEstado ON CorreosSalientes (sEstado);
CREATE INDEX IF NOT EXISTS ixCorreosSalientes_nIdFactura ON CorreosSalientes (nIdFactura);
