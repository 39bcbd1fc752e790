#pragma once

#include "apireply.h"

#include <QJsonObject>
#include <QtGlobal>

namespace platform {

struct ApiContext;

// The station's book of shippers and consignees: two twin record kinds that
// differ only in their table, their names and the shipper's industry.
class PartyService
{
public:
    static ApiReply listShippers(ApiContext& context);
    static ApiReply addShipper(ApiContext& context);
    static ApiReply editShipper(ApiContext& context);
    static ApiReply removeShipper(ApiContext& context);

    static ApiReply listConsignees(ApiContext& context);
    static ApiReply addConsignee(ApiContext& context);
    static ApiReply editConsignee(ApiContext& context);
    static ApiReply removeConsignee(ApiContext& context);

    // A live record of the station as the lists show it; empty when there is
    // none.
    static QJsonObject shipperRecord(const ApiContext& context, qint64 id);
    static QJsonObject consigneeRecord(const ApiContext& context, qint64 id);

    // Refuse, as not found, an id that names no live record of the station.
    static void requireShipper(const ApiContext& context, qint64 id);
    static void requireConsignee(const ApiContext& context, qint64 id);

    static const int pageSize = 20;
};

} // namespace platform
