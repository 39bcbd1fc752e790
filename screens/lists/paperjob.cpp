#include "screens/lists/paperjob.h"

#include "documents/loadinglistdocument.h"
#include "documents/waybilldocument.h"
#include "net/api.h"
#include "net/apicall.h"
#include "screens/lists/paperpreview.h"
#include "widgets/guardedmessagebox.h"

#include <QDateTime>
#include <QJsonArray>
#include <QWidget>

PaperJob* PaperJob::waybill(const QJsonObject& trade, Output output, QWidget* owner)
{
    auto* job = new PaperJob(Kind::Waybill, output, owner);
    job->trade = trade;
    job->start();
    return job;
}

PaperJob* PaperJob::loadingList(int truckId, Output output, QWidget* owner)
{
    auto* job = new PaperJob(Kind::LoadingList, output, owner);
    job->truckId = truckId;
    job->start();
    return job;
}

PaperJob::PaperJob(Kind kind, Output output, QWidget* owner)
    : QObject(owner)
    , kind(kind)
    , output(output)
    , owner(owner)
{
}

PaperJob::~PaperJob()
{
    if (pending)
        pending->abandon();
}

void PaperJob::start()
{
    pending = API::instance()->fetchProfile()->then(this, [this](const ApiAnswer& answer) { takeProfile(answer); });
}

void PaperJob::takeProfile(const ApiAnswer& answer)
{
    pending = nullptr;
    if (!answer.success || !answer.data.isObject()) {
        fail(answer.errors);
        return;
    }
    profile = answer.data.toObject();
    if (kind == Kind::Waybill) {
        put(WaybillDocument(trade, profile));
        return;
    }
    // The truck's loads as the platform has them now: the board's and the
    // list's records may be older than the last packing.
    pending = API::instance()->fetchTruckGroup(-1)->then(this, [this](const ApiAnswer& answer) { takeTrucks(answer); });
}

void PaperJob::takeTrucks(const ApiAnswer& answer)
{
    pending = nullptr;
    if (!answer.success || !answer.data.isArray()) {
        fail(answer.errors);
        return;
    }
    for (const QJsonValue& element : answer.data.toArray()) {
        const QJsonObject truck = element.toObject();
        if (truck.value(QLatin1String("id")).toVariant().toInt() == truckId) {
            put(LoadingListDocument(truck, profile, QDateTime::currentDateTime()));
            return;
        }
    }
    fail(QStringLiteral("该车已不存在！"));
}

void PaperJob::put(const PaperDocument& document)
{
    // From here on the dialog's nested event loop runs: a list reload may
    // delete the owner, which must not take the job along in the middle.
    setParent(nullptr);
    QWidget* window = owner ? owner->window() : nullptr;
    if (output == Output::Preview)
        PaperPreview::preview(document, window);
    else
        PaperPreview::exportPdf(document, window);
    deleteLater();
}

void PaperJob::fail(const QString& text)
{
    setParent(nullptr);
    GuardedMessageBox::warning(nullptr, QStringLiteral("抱歉"), QStringLiteral("获取数据失败！\n") + text);
    deleteLater();
}
