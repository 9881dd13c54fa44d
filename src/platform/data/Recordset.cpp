// The record set DataAccess::OpenRecordset hands out, its rows read at once.

#include "platform/data/Recordset.h"

#include "platform/util/TvError.h"

Recordset::Field Recordset::Fields(int index) const {
    if (!m_open || index < 0 || index >= m_rows.ColumnCount())
        throw TvError(ErrorNumber::NoSuchField,
                      QStringLiteral("El conjunto de registros no tiene el campo %1").arg(index));
    if (Eof())
        throw TvError(ErrorNumber::Database,
                      QStringLiteral("No hay registro actual: se ha llegado al final"));
    return {m_rows.ColumnNames()[index], m_rows.Value(index, m_row)};
}

Recordset::Field Recordset::Fields(const QString& name) const {
    const QStringList& names = m_rows.ColumnNames();
    for (int i = 0; i < names.size(); ++i)
        if (names[i].compare(name, Qt::CaseInsensitive) == 0)
            return Fields(i);
    throw TvError(ErrorNumber::NoSuchField,
                  QStringLiteral("El conjunto de registros no tiene el campo %1").arg(name));
}
