#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

// "Acerca de tvFacturacion": the system as its producer declares it (the declaración responsable
// the law requires to be visible in the program), item by item as the agency's model lists them,
// with the build's own values.
class AcercaDe : public QDialog {
    Q_OBJECT
public:
    explicit AcercaDe(QWidget* parent = nullptr);

    // The value shown beside a caption; empty for a caption the dialog does not show.
    QString Valor(const QString& titulo) const;
    QString Declaracion() const;

private:
    QLabel* lblDeclaracion = nullptr;
    QPushButton* Cerrar_BT = nullptr;
};
