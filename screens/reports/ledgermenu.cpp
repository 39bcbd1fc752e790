#include "screens/reports/ledgermenu.h"

#include "screens/reports/ledgeractivity.h"
#include "screens/reports/statisticsactivity.h"
#include "shell/activitycontroller.h"
#include "shell/mainwindow.h"

#include <QAction>
#include <QMenu>
#include <QPointer>

#include <functional>

void LedgerMenu::install(MainWindow* window)
{
    QMenu* menu = window ? window->moreMenu() : nullptr;
    if (!menu || menu->findChild<QAction*>(QStringLiteral("agencyLedgerAction")))
        return;
    const struct
    {
        QString text;
        QString name;
        QString screen;
        std::function<QWidget*()> create;
    } entries[] = {
        { QStringLiteral("代收款台账"), QStringLiteral("agencyLedgerAction"), QStringLiteral("AgencyLedgerActivity"),
            [] { return new LedgerActivity(LedgerActivity::Kind::Agency); } },
        { QStringLiteral("司机运费"), QStringLiteral("payoutLedgerAction"), QStringLiteral("PayoutLedgerActivity"),
            [] { return new LedgerActivity(LedgerActivity::Kind::Payout); } },
        { QStringLiteral("经营统计"), QStringLiteral("statisticsAction"), QStringLiteral("StatisticsActivity"),
            [] { return new StatisticsActivity; } },
    };
    QAction* first = menu->actions().value(0);
    const QPointer<MainWindow> owner = window;
    for (const auto& entry : entries) {
        auto* action = new QAction(entry.text, menu);
        action->setObjectName(entry.name);
        menu->insertAction(first, action);
        QObject::connect(action, &QAction::triggered, window, [owner, screen = entry.screen, create = entry.create] {
            if (!owner)
                return;
            ActivityController* home = owner->controllerAt(0);
            owner->showSection(0);
            QWidget* top = home->topActivity();
            if (top && top->objectName() == screen && !home->isFinishing())
                return;
            home->startActivity(create(), false, true);
        });
    }
    if (first)
        menu->insertSeparator(first);
}
