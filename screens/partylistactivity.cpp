#include "screens/partylistactivity.h"

#include "screens/partybook.h"
#include "shell/activitycontroller.h"
#include "shell/mainwindow.h"

#include <QFrame>

PartyListActivity::PartyListActivity(const PartyBook& book, QWidget* parent)
    : PagedListActivity(parent)
    , book(book)
{
    setTitle(book.title);
    setActionButton(book.actionText, this);
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
    if (!data.isValid())
        return;
    showLoading(QString());
    reload();
}

int PartyListActivity::requestPage(int page)
{
    return (API::instance()->*book.fetch)(page, QString());
}

QWidget* PartyListActivity::createRow(const QJsonObject& record, int number)
{
    return book.createRow(record, number, parentWidget());
}
