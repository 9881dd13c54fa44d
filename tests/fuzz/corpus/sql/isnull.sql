SELECT * FROM FacturasItems WHERE (nIdFactura=0 OR ISNULL(nIdFactura)) AND bActivo=True AND sCliente='O''Brien [x] true' -- fin
GROUP BY a HAVING b /* ; */ LIMIT 1; SELECT 2