#include "shell/toolbar.h"

#include "shell/toolbarbutton.h"

#include <QAction>
#include <QIcon>
#include <QMenu>
#include <QResizeEvent>
#include <QToolButton>

ToolBar::ToolBar(QWidget* parent)
    : QWidget(parent)
    , captions({ QStringLiteral("首页"), QStringLiteral("业务管理"), QStringLiteral("托运人管理"),
          QStringLiteral("货车管理"), QStringLiteral("收货人管理") })
    , moreButton(new QToolButton(this))
    , menu(new QMenu(this))
{
    for (int i = 0; i < captions.size(); ++i) {
        auto* button
            = new ToolBarButton(QStringLiteral(":/images/icon_toolbar_%1.png").arg(i + 1), captions.at(i), this);
        button->setObjectName(QStringLiteral("ToolBarButton%1").arg(i));
        button->setIndex(i);
        button->move(i * 130, 39);
        connect(button, &ToolBarButton::signal_parent, this, &ToolBar::slot_set);
        buttons.append(button);
    }
    setFixedHeight(84);

    moreButton->setObjectName(QStringLiteral("MoreButton"));
    moreButton->setIcon(QIcon(QStringLiteral(":/images/ico_more.png")));
    moreButton->setIconSize(QSize(32, 32));
    moreButton->resize(32, 32);
    moreButton->setToolButtonStyle(Qt::ToolButtonIconOnly);
    moreButton->setFocusPolicy(Qt::StrongFocus);
    // The icon is drawn for the header band: without this the platform style
    // paints an opaque button face behind it.
    moreButton->setStyleSheet(QStringLiteral("QToolButton{border:none;background:transparent;}"));

    // The menu is opened by hand rather than given to the button, which
    // would then draw a menu arrow next to its icon.
    menu->setObjectName(QStringLiteral("MoreMenu"));
    menu->setStyleSheet(QStringLiteral("QMenu{background:#FFFFFF;border:1px solid #42A85B;padding:2px;}"
                                       "QMenu::item{padding:6px 24px;color:#333333;}"
                                       "QMenu::item:selected{background:#E7F7D9;color:#054500;}"));
    const struct
    {
        QString text;
        QString name;
        void (ToolBar::*signal)();
    } entries[] = {
        { QStringLiteral("修改密码"), QStringLiteral("changePasswordAction"), &ToolBar::signal_change_password },
        { QStringLiteral("货站资料"), QStringLiteral("profileAction"), &ToolBar::signal_edit_profile },
        { QStringLiteral("切换账号"), QStringLiteral("switchAccountAction"), &ToolBar::signal_switch_account },
    };
    for (const auto& entry : entries) {
        QAction* action = menu->addAction(entry.text);
        action->setObjectName(entry.name);
        connect(action, &QAction::triggered, this, entry.signal);
    }
    connect(moreButton, &QToolButton::clicked, this, &ToolBar::slot_more_clicked);
}

void ToolBar::slot_more_clicked()
{
    const QPoint corner(moreButton->width() - menu->sizeHint().width(), moreButton->height());
    menu->popup(moreButton->mapToGlobal(corner));
}

void ToolBar::setCurrentIndex(int index)
{
    if (index < 0 || index >= buttons.size())
        return;
    for (ToolBarButton* button : qAsConst(buttons))
        button->setPressed(button->index() == index);
    emit signal_toolbar_button_click(index);
}

void ToolBar::slot_set(ToolBarButton* pObject)
{
    if (pObject)
        setCurrentIndex(pObject->index());
}

void ToolBar::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    moreButton->setGeometry(width() - 35, height() - 35, 28, 28);
}
