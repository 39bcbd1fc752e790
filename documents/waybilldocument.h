#pragma once

#include "documents/paperdocument.h"

#include <QJsonObject>
#include <QRectF>

// The waybill (托运单) of one trade, which the driver carries with the goods:
// the station and its phone, the waybill number as text and as a Code 128
// barcode, the consignment, its parties, truck, goods and money, the notes,
// and boxes for the signatures of the shipper, the driver and the consignee.
// One A5 landscape page.
class WaybillDocument : public PaperDocument
{
public:
    // `trade` is a record of the trade list; `profile` the station's profile.
    WaybillDocument(const QJsonObject& trade, const QJsonObject& profile);

    QPageLayout pageLayout() const override;
    QString title() const override;

    // The waybill number: the trade's id.
    QString number() const;
    // Where the barcode's bars are drawn on the page, in millimetres.
    static QRectF barcodeArea();

protected:
    void paint(QPainter& painter, QPagedPaintDevice& device) const override;

private:
    qreal paintContent(QPainter& painter) const;

    QJsonObject trade;
    QJsonObject profile;
};
