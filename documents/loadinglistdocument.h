#pragma once

#include "documents/paperdocument.h"

#include <QDateTime>
#include <QJsonObject>

// The loading list (装车清单) with which a truck leaves: the truck, its rated
// load and driver, every open load on it, one row each (shipper, consignee,
// goods, weight, value, cash on delivery), the totals of the weight, the
// value and the cash to collect, and the signature line. A4 pages; a long
// list goes on over several pages under a repeated table head.
class LoadingListDocument : public PaperDocument
{
public:
    // `truck` is a record of the truck lists, whose "loads" are the trades on
    // it that are not yet delivered; `profile` is the station's profile;
    // `printed` the time written on the list.
    LoadingListDocument(const QJsonObject& truck, const QJsonObject& profile, const QDateTime& printed);

    QPageLayout pageLayout() const override;
    QString title() const override;

protected:
    void paint(QPainter& painter, QPagedPaintDevice& device) const override;

private:
    // Paints the pages; with `device` null it only counts them.
    int paintPages(QPainter& painter, QPagedPaintDevice* device, int pageCount) const;

    QJsonObject truck;
    QJsonObject profile;
    QDateTime printed;
};
