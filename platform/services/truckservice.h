#pragma once

#include "apireply.h"

#include <QJsonObject>
#include <QString>
#include <QtGlobal>

namespace platform {

struct ApiContext;
class ApiRequest;

// The station's trucks: the board's groups, the paged list, the form's
// submissions, the trips (on the road and back) and deletion. A truck's
// "loads" are its trades not yet delivered.
class TruckService
{
public:
    static ApiReply list(ApiContext& context);
    static ApiReply group(ApiContext& context);
    static ApiReply add(ApiContext& context);
    static ApiReply edit(ApiContext& context);
    static ApiReply work(ApiContext& context);
    static ApiReply sleep(ApiContext& context);
    static ApiReply remove(ApiContext& context);

    // What the board's answers depend on besides the station's records (see
    // ApiRouter::AnswerKey): the list's paging and the group. A search is
    // not reused.
    static QString listAnswerKey(const ApiRequest& request);
    static QString groupAnswerKey(const ApiRequest& request);

    // A live truck of the station as the lists show it; empty when there is
    // none.
    static QJsonObject record(const ApiContext& context, qint64 id);

    // The status of a live truck of the station; refused as not found otherwise.
    static qint64 requireTruck(const ApiContext& context, qint64 id);

    static const int pageSize = 20;
};

} // namespace platform
