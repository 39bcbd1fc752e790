#include "shell/toolbar.h"

#include "shell/toolbarbutton.h"

#include <QIcon>
#include <QResizeEvent>
#include <QToolButton>

ToolBar::ToolBar(QWidget* parent)
    : QWidget(parent)
    , captions({ QStringLiteral("首页"), QStringLiteral("业务管理"), QStringLiteral("托运人管理"),
          QStringLiteral("货车管理"), QStringLiteral("收货人管理") })
    , moreButton(new QToolButton(this))
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
