#include "screens/trucklistactivity.h"

#include "net/api.h"
#include "screens/mytruckitem.h"
#include "screens/truckactivity.h"
#include "shell/activitycontroller.h"

#include <QJsonArray>
#include <QJsonObject>

TruckListActivity::TruckListActivity(QWidget* parent)
    : PagedListActivity(parent)
{
    setObjectName(QStringLiteral("TruckListActivity"));
    setTitle(QStringLiteral("货车管理"));
    setActionButton(QStringLiteral("添加货车"), this);
}

void TruckListActivity::slot_action()
{
    // While a form slides in over the list, its button is still under the
    // pointer: a second press must not open a second form.
    ActivityController* own = controller();
    if (!own || !ActivityController::acceptsPressFrom(this))
        return;
    own->startActivityForResult(
        new TruckActivity, this, [this](const QVariant& data) { slot_packactivity_finish(data); });
}

void TruckListActivity::slot_fetch_truck_finished(QJsonArray* trucks, const QString errors)
{
    Q_UNUSED(errors)
    appendPage(trucks, "slot_fetch_truck_finished");
}

void TruckListActivity::slot_packactivity_finish(QVariant data)
{
    if (!data.isValid())
        return;
    showLoading(QString());
    reload();
}

int TruckListActivity::requestPage(int pageNumber)
{
    return API::instance()->fetchTruck(pageNumber, QString());
}

QWidget* TruckListActivity::createRow(const QJsonObject& record, int number)
{
    return new MyTruckItem(record, number, parentWidget());
}

void TruckListActivity::takeOverAnswers()
{
    disconnect(API::instance(), &API::signal_fetch_truck_finished, nullptr, nullptr);
    connect(API::instance(), &API::signal_fetch_truck_finished, this, &TruckListActivity::slot_fetch_truck_finished);
}
