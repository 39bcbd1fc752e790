#include "widgets/dialogwidget.h"

#include <QDebug>
#include <QHBoxLayout>
#include <QLabel>
#include <QResizeEvent>
#include <QToolButton>
#include <QVBoxLayout>

DialogWidget::DialogWidget(QWidget* parent)
    : QFrame(parent)
    , body(new QFrame(this))
    , bodyLayout(new QVBoxLayout(body))
    , titleLabel(new QLabel(body))
    , buttonBar(new QFrame(body))
    , buttonBarLayout(new QHBoxLayout(buttonBar))
    , okButton(new QToolButton(buttonBar))
    , cancelButton(new QToolButton(buttonBar))
{
    setObjectName(QStringLiteral("Main"));
    setStyleSheet(QStringLiteral("#Main{background-color:rgba(100,100,100,70);}"));
    setContentsMargins(0, 0, 0, 0);

    body->setObjectName(QStringLiteral("Body"));
    body->setStyleSheet(QStringLiteral("QFrame#Body{background-color:rgba(80,80,80,90);border-radius:5px;}"));
    body->resize(500, 300);
    body->setContentsMargins(0, 0, 0, 0);
    bodyLayout->setSpacing(0);

    titleLabel->setObjectName(QStringLiteral("DialogTitle"));
    titleLabel->setStyleSheet(QStringLiteral("background-color:#E7F7D9;padding:5px;font-weight:bold;"));
    titleLabel->setFixedHeight(30);

    buttonBar->setObjectName(QStringLiteral("ButtonBar"));
    buttonBar->setStyleSheet(QStringLiteral("background:#E9EEF2;"));
    buttonBar->setFixedHeight(40);
    buttonBarLayout->setContentsMargins(10, 7, 10, 5);

    okButton->setText(QStringLiteral("确定"));
    cancelButton->setText(QStringLiteral("取消"));
    for (QToolButton* button : { okButton, cancelButton }) {
        button->setFixedSize(58, 27);
        button->setObjectName(QStringLiteral("DialogButton"));
    }
    buttonBarLayout->addStretch(1);
    buttonBarLayout->addWidget(okButton);
    buttonBarLayout->addWidget(cancelButton);

    bodyLayout->addWidget(titleLabel);
    bodyLayout->addWidget(buttonBar);

    if (parent)
        resize(parent->size());

    connect(okButton, &QToolButton::clicked, this, &DialogWidget::slot_ok_button_clicked);
    connect(cancelButton, &QToolButton::clicked, this, &DialogWidget::slot_cancel_button_clicked);
    hide();
}

void DialogWidget::setTitle(const QString& text)
{
    titleLabel->setText(text);
}

void DialogWidget::setContent(QWidget* widget)
{
    if (widget == content)
        return;
    if (content) {
        bodyLayout->removeWidget(content);
        content->hide();
        content->deleteLater();
    }
    content = widget;
    if (!widget)
        return;
    widget->setStyleSheet(QStringLiteral("background:white;"));
    bodyLayout->insertWidget(1, widget);
}

void DialogWidget::slot_ok_button_clicked()
{
    emit signal_ok(this, content);
}

void DialogWidget::slot_cancel_button_clicked()
{
    hide();
    emit signal_cancel(this);
}

void DialogWidget::resizeEvent(QResizeEvent* event)
{
    QFrame::resizeEvent(event);
    qDebug() << "DialogWidget::resizeEvent";
    body->move((width() - body->width()) / 2, (height() - body->height()) / 2);
}
