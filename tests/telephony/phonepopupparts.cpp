#include "phonepopupparts.h"

#include <QFrame>
#include <QLabel>
#include <QToolButton>

QFrame* PhonePopupParts::overlayOf(QWidget* host)
{
    return host->findChild<QFrame*>(QStringLiteral("Main"), Qt::FindDirectChildrenOnly);
}

QFrame* PhonePopupParts::panelOf(QWidget* host)
{
    QFrame* overlay = overlayOf(host);
    return overlay ? overlay->findChild<QFrame*>(QStringLiteral("Body"), Qt::FindDirectChildrenOnly) : nullptr;
}

QLabel* PhonePopupParts::statusLabelOf(QWidget* host)
{
    QFrame* panel = panelOf(host);
    if (!panel)
        return nullptr;
    // The status line is the label across the calling panel below its picture.
    for (QLabel* label : panel->findChildren<QLabel*>()) {
        if (label->geometry() == QRect(0, 150, 250, 30))
            return label;
    }
    return nullptr;
}

QToolButton* PhonePopupParts::buttonOf(QWidget* host, const QString& text)
{
    QFrame* panel = panelOf(host);
    if (!panel)
        return nullptr;
    for (QToolButton* button : panel->findChildren<QToolButton*>(QStringLiteral("Button"))) {
        if (button->text() == text)
            return button;
    }
    return nullptr;
}
