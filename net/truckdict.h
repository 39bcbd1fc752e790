#pragma once

#include <QJsonObject>
#include <QObject>

// The truck dictionary: three JSON objects mapping decimal keys (as strings)
// to display texts. Filled once at login, read by the truck form. One object
// per process, built on first use.
class TruckDict : public QObject
{
    Q_OBJECT

public:
    static TruckDict* instance();

    QJsonObject drivingMode() const { return drivingModeMap; }
    QJsonObject tonnage() const { return tonnageMap; }
    QJsonObject packingcaseMode() const { return packingcaseModeMap; }

    void setDrivingMode(const QJsonObject& value) { drivingModeMap = value; }
    void setTonnage(const QJsonObject& value) { tonnageMap = value; }
    void setPackingcaseMode(const QJsonObject& value) { packingcaseModeMap = value; }

private:
    TruckDict() = default;

    QJsonObject drivingModeMap;
    QJsonObject tonnageMap;
    QJsonObject packingcaseModeMap;
};
