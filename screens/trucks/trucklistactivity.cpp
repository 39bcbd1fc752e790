#include "screens/trucks/trucklistactivity.h"

#include "net/api.h"
#include "screens/trucks/truckactivity.h"
#include "screens/trucks/truckrow.h"
#include "shell/activitycontroller.h"
#include "telephony/telnumberwidget.h"

#include <QJsonArray>
#include <QJsonObject>

TruckListActivity::TruckListActivity(QWidget* parent)
    : PagedListActivity(parent)
{
    setObjectName(QStringLiteral("TruckListActivity"));
    setTitle(QStringLiteral("货车管理"));
    setActionButton(QStringLiteral("添加货车"), this);
    setSearchHint(QStringLiteral("搜索车牌号码"));
    showsRecords({ RecordKind::Truck });
    addRowStyleRules(QLatin1String(MyTruckItem::styleRules()) + QLatin1String(TelNumberWidget::styleRules()));
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
    // The saved truck's change notice has the list reloaded already.
    Q_UNUSED(data)
}

ApiCall* TruckListActivity::requestPage(int pageNumber)
{
    return API::instance()->fetchTruck(pageNumber, searchText());
}

void TruckListActivity::takePage(QJsonArray* rows, const QString& errors)
{
    slot_fetch_truck_finished(rows, errors);
}

QList<ExportTable::Column> TruckListActivity::exportColumns() const
{
    using Kind = ExportTable::Kind;
    return {
        { QStringLiteral("车牌号"), Kind::Text, QStringLiteral("number") },
        { QStringLiteral("驾驶方式"), Kind::Text, QStringLiteral("driving_mode_text") },
        { QStringLiteral("吨位"), Kind::Text, QStringLiteral("tonnage_level_text") },
        { QStringLiteral("额定载重(吨)"), Kind::Number, QStringLiteral("tonnage") },
        { QStringLiteral("货箱"), Kind::Text, QStringLiteral("packingcase_mode_text") },
        { QStringLiteral("货箱长(米)"), Kind::Number, QStringLiteral("packingcase_length") },
        { QStringLiteral("货箱宽(米)"), Kind::Number, QStringLiteral("packingcase_width") },
        { QStringLiteral("货箱高(米)"), Kind::Number, QStringLiteral("packingcase_height") },
        { QStringLiteral("司机1"), Kind::Text, QStringLiteral("driver1_name") },
        { QStringLiteral("司机1电话"), Kind::Text, QStringLiteral("driver1_mobile") },
        { QStringLiteral("司机2"), Kind::Text, QStringLiteral("driver2_name") },
        { QStringLiteral("司机2电话"), Kind::Text, QStringLiteral("driver2_mobile") },
        { QStringLiteral("所属公司"), Kind::Text, QStringLiteral("company_name") },
        { QStringLiteral("公司电话"), Kind::Text, QStringLiteral("company_tel") },
        { QStringLiteral("备注"), Kind::Text, QStringLiteral("notes") },
    };
}

QWidget* TruckListActivity::createRow(const QJsonObject& record, int number)
{
    return new MyTruckItem(record, number, parentWidget(), listContainer);
}
