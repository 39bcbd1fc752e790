#include "screens/reports/reportactivity.h"

#include "net/api.h"
#include "screens/lists/tableexport.h"

#include <QToolButton>

ReportActivity::ReportActivity(QWidget* parent)
    : BaseActivity(parent)
{
    connect(addHeaderButton(QStringLiteral("导出"), QStringLiteral("ExportButton")), &QToolButton::clicked, this,
        [this] { TableExport::chooseAndStart(this, table()); });
    connect(API::instance(), &API::signal_records_changed, this, &ReportActivity::slot_records_changed);
}

bool ReportActivity::dependsOn(RecordKind kind) const
{
    Q_UNUSED(kind)
    return true;
}

void ReportActivity::slot_records_changed(RecordKind kind)
{
    if (!dependsOn(kind))
        return;
    // The several kinds that one change announces make one fetch.
    const bool wasStale = stale;
    stale = true;
    if (wasStale || !loaded || !isVisible())
        return;
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (stale && isVisible())
                fetch();
        },
        Qt::QueuedConnection);
}

void ReportActivity::showEvent(QShowEvent* event)
{
    BaseActivity::showEvent(event);
    if (!loaded || stale)
        fetch();
}
