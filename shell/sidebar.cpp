#include "shell/sidebar.h"

#include "net/api.h"
#include "shell/servicecontacts.h"

#include <QDesktopServices>
#include <QGridLayout>
#include <QJsonObject>
#include <QLabel>
#include <QToolButton>
#include <QUrl>

namespace {
QString text(const QJsonObject& object, const char* key)
{
    return object.value(QLatin1String(key)).toString();
}
} // namespace

SideBar::SideBar(QWidget* parent)
    : QFrame(parent)
    , grid(new QGridLayout(this))
    , userIcon(new QLabel(this))
    , userTitle(new QLabel(QStringLiteral("用户信息"), this))
    , organLabel(new QLabel(this))
    , nameLabel(new QLabel(this))
    , mobileLabel(new QLabel(this))
    , summaryLabel(new QLabel(this))
    , serviceIcon(new QLabel(this))
    , serviceTitle(new QLabel(QStringLiteral("客服联系信息"), this))
    , servicePhoneLabel(new QLabel(ServiceContacts::defaultMobile(), this))
    , serviceQQLabel(new QLabel(ServiceContacts::defaultQQ(), this))
    , feedbackButton(new QToolButton(this))
{
    grid->setContentsMargins(5, 5, 5, 5);

    userIcon->setPixmap(QPixmap(QStringLiteral(":/images/ico_user.png")));
    userIcon->setFixedSize(16, 16);
    userTitle->setStyleSheet(QStringLiteral("color:#000000;font-weight:bold;"));
    serviceIcon->setPixmap(QPixmap(QStringLiteral(":/images/ico_deposit_s.png")));
    serviceTitle->setStyleSheet(QStringLiteral("color:#000000;font-weight:bold;;padding-top:20px;"));

    organLabel->setObjectName(QStringLiteral("OrganLabel"));
    nameLabel->setObjectName(QStringLiteral("NameLabel"));
    mobileLabel->setObjectName(QStringLiteral("MobileLabel"));
    summaryLabel->setObjectName(QStringLiteral("SummaryLabel"));
    servicePhoneLabel->setObjectName(QStringLiteral("ServicePhoneLabel"));
    serviceQQLabel->setObjectName(QStringLiteral("ServiceQQLabel"));
    summaryLabel->setWordWrap(true);
    // What the server sends is shown as text, never interpreted as markup;
    // only the QQ line carries a link that the client builds itself.
    for (QLabel* label : { organLabel, nameLabel, mobileLabel, summaryLabel, servicePhoneLabel, serviceQQLabel }) {
        label->setContentsMargins(10, 0, 0, 0);
        label->setTextFormat(Qt::PlainText);
    }

    feedbackButton->setObjectName(QStringLiteral("FeedbackButton"));
    feedbackButton->setText(QStringLiteral("意见反馈"));
    feedbackButton->setStyleSheet(
        QStringLiteral("QToolButton{height:30px;border-radius:4px;background:#e7f7d9;}"
                       "QToolButton:hover{border:1px solid #C9EDA9; background:#e7f7d9;color:#054500;}"));
    feedbackButton->setFixedWidth(210);

    grid->addWidget(userIcon, 0, 0);
    grid->addWidget(userTitle, 0, 1);
    grid->addWidget(organLabel, 1, 0, 1, 2);
    grid->addWidget(nameLabel, 2, 0, 1, 2);
    grid->addWidget(mobileLabel, 3, 0, 1, 2);
    grid->addWidget(summaryLabel, 4, 0, 1, 2);
    grid->addWidget(serviceIcon, 7, 0, Qt::AlignBottom);
    grid->addWidget(serviceTitle, 7, 1, Qt::AlignBottom);
    grid->addWidget(servicePhoneLabel, 10, 0, 1, 2);
    grid->addWidget(serviceQQLabel, 11, 0, 1, 2);
    grid->addWidget(feedbackButton, 13, 0, 1, 2);
    grid->setRowStretch(4, 1);
    grid->setRowStretch(12, 1);

    setFixedWidth(220);
    setAutoFillBackground(true);
    setObjectName(QStringLiteral("SideBar"));
    setStyleSheet(QStringLiteral(
        "#SideBar{border-left:1px solid #CCCCCC;background:#F2F2F2;}QLabel{color:#333333; }QToolButton{border:0px;}"));

    if (parent) {
        connect(feedbackButton, &QToolButton::pressed, parent,
            [parent] { QMetaObject::invokeMethod(parent, "slot_feedback_clicked"); });
    }
    connect(serviceQQLabel, &QLabel::linkActivated, this, &SideBar::slot_open_url);
    // A profile saved anywhere (the ••• menu) shows here at once.
    connect(API::instance(), &API::signal_submit_profile_finished, this, [this](bool success) {
        if (!success)
            return;
        API::instance()->fetchProfile()->then(this, [this](const ApiAnswer& answer) {
            QJsonObject payload = answer.data.toObject();
            slot_fetch_profile_finished(answer.success ? &payload : nullptr, answer.errors);
        });
    });
}

void SideBar::showEvent(QShowEvent* event)
{
    QFrame::showEvent(event);
    API* api = API::instance();
    // Each answer fills the labels of the request that asked for it.
    const auto object = [](void (SideBar::*slot)(QJsonObject*, QString), SideBar* bar) {
        return [slot, bar](const ApiAnswer& answer) {
            QJsonObject payload = answer.data.toObject();
            (bar->*slot)(answer.success ? &payload : nullptr, answer.errors);
        };
    };
    api->fetchProfile()->then(this, object(&SideBar::slot_fetch_profile_finished, this));
    api->fetchServiceInfo()->then(this, object(&SideBar::slot_fetch_serviceinfo_finished, this));
}

void SideBar::slot_fetch_profile_finished(QJsonObject* profile, QString errors)
{
    Q_UNUSED(errors)
    if (!profile)
        return;
    organLabel->setText(text(*profile, "organ"));
    nameLabel->setText(QStringLiteral("联系人：") + text(*profile, "name"));
    mobileLabel->setText(text(*profile, "mobile_number"));
    summaryLabel->setText(text(*profile, "summary"));
}

void SideBar::slot_fetch_serviceinfo_finished(QJsonObject* serviceinfo, QString errors)
{
    Q_UNUSED(errors)
    if (!serviceinfo)
        return;
    const QString qq = text(*serviceinfo, "qq");
    servicePhoneLabel->setText(QStringLiteral("联系电话：") + text(*serviceinfo, "mobile"));
    serviceQQLabel->setTextFormat(Qt::RichText);
    serviceQQLabel->setText(QStringLiteral("QQ号码：<a href='%1'>%2</a>")
                                .arg(ServiceContacts::imContactUrl(qq).toHtmlEscaped(), qq.toHtmlEscaped()));
}

void SideBar::slot_open_url(QString url)
{
    QDesktopServices::openUrl(QUrl(url));
}
