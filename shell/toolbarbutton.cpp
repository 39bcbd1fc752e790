#include "shell/toolbarbutton.h"

#include <QIcon>

ToolBarButton::ToolBarButton(const QString& iconPath, const QString& text, QWidget* parent)
    : QToolButton(parent)
    , iconFile(iconPath)
    , captionText(text)
{
    setIconSize(QSize(32, 32));
    resize(145, 46);
    setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    setIcon(QIcon(iconPath));
    setText(text);
    setFocusPolicy(Qt::StrongFocus);
    setPressed(false);
    connect(this, &QToolButton::pressed, this, &ToolBarButton::slot_pressed);
}

void ToolBarButton::setPressed(bool pressed)
{
    drawnPressed = pressed;
    if (pressed) {
        setStyleSheet(QStringLiteral("QToolButton{border:0px;font-size:14px; color:#0099CC; width:100%; "
                                     "background:url(:/images/bg_toolbutton_pressed.png) no-repeat;}"));
    } else {
        setStyleSheet(QStringLiteral("QToolButton{border:0px;font-size:14px; color:#ffffff; width:100%; "
                                     "background:transparent;}"
                                     "QToolButton:hover{background:url(:/images/bg_toolbutton_hover.png) no-repeat;}"));
    }
}

void ToolBarButton::slot_pressed()
{
    setPressed(true);
    emit signal_parent(this);
}
