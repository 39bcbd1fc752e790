#include "screens/parties/partylistactivity.h"

#include "net/api.h"
#include "screens/parties/partybook.h"
#include "shell/activitycontroller.h"
#include "shell/mainwindow.h"
#include "telephony/telnumberwidget.h"

#include <QFrame>

PartyListActivity::PartyListActivity(const PartyBook& book, QWidget* parent)
    : PagedListActivity(parent)
    , book(book)
{
    setTitle(book.title);
    setActionButton(book.actionText, this);
    setSearchHint(QStringLiteral("搜索名称"));
    showsRecords({ book.kind });
    addRowStyleRules(QLatin1String(TelNumberWidget::styleRules()));
}

void PartyListActivity::slot_action()
{
    MainWindow* window = mainWindow();
    ActivityController* section = window ? window->controllerAt(book.section) : nullptr;
    // One press, one form: not a second one while the first slides in.
    if (!section || !ActivityController::acceptsPressFrom(this))
        return;
    section->startActivityForResult(
        book.createForm(nullptr, section), this, [this](const QVariant& data) { slot_packactivity_finish(data); });
}

void PartyListActivity::slot_packactivity_finish(QVariant data)
{
    // The saved record's change notice has the list reloaded already.
    Q_UNUSED(data)
}

ApiCall* PartyListActivity::requestPage(int page)
{
    return (API::instance()->*book.fetch)(page, searchText());
}

QList<ExportTable::Column> PartyListActivity::exportColumns() const
{
    using Kind = ExportTable::Kind;
    QList<ExportTable::Column> columns { { QStringLiteral("名称"), Kind::Text, QStringLiteral("name") } };
    if (book.titleHasIndustry)
        columns.append({ QStringLiteral("行业"), Kind::Text, QStringLiteral("industry") });
    columns += {
        { QStringLiteral("地址"), Kind::Text, QStringLiteral("address") },
        { QStringLiteral("联系人"), Kind::Text, QStringLiteral("linkman") },
        { QStringLiteral("电话1"), Kind::Text, QStringLiteral("tel1") },
        { QStringLiteral("电话2"), Kind::Text, QStringLiteral("tel2") },
        { QStringLiteral("备注"), Kind::Text, QStringLiteral("notes") },
        { QStringLiteral("添加时间"), Kind::DateTime, QStringLiteral("create_time") },
    };
    return columns;
}

QWidget* PartyListActivity::createRow(const QJsonObject& record, int number)
{
    return book.createRow(record, number, parentWidget(), listContainer);
}
