#include "shell/statusbar.h"

#include "buildconfig.h"
#include "net/api.h"
#include "net/platformaddress.h"
#include "telephony/voicereconnector.h"

#include <QDebug>
#include <QDesktopServices>
#include <QHBoxLayout>
#include <QImage>
#include <QJsonObject>
#include <QLabel>
#include <QMovie>
#include <QUrl>

namespace {

QPixmap greyed(const QPixmap& pixmap)
{
    QImage image = pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            // Lighter than plain grey, as disabled pictures are.
            const int grey = 96 + qGray(line[x]) * 5 / 8;
            line[x] = qRgba(grey, grey, grey, qAlpha(line[x]));
        }
    }
    return QPixmap::fromImage(image);
}

QString connectionText(bool connected)
{
    return connected ? QStringLiteral("已成功连接至管理平台") : QStringLiteral("无法连接至管理平台，请检查网络");
}

} // namespace

StatusBar::StatusBar(QWidget* parent)
    : QFrame(parent)
    , versionLabel(new QLabel(QStringLiteral("主程序版本：%1").arg(QStringLiteral(FREYMO_VERSION_TEXT)), this))
    , connectionLabel(new QLabel(this))
    , voiceLabel(new QLabel(QStringLiteral("无法连接至通讯服务器"), this))
    , transferLabel(new QLabel(this))
    , updateLink(new QLabel(QStringLiteral("<a href=%1>有新版本,点击更新</a>").arg(downloadUrl()), this))
    , layout(new QHBoxLayout(this))
    , transferMovie(new QMovie(QStringLiteral(":/images/loading.gif"), QByteArray(), this))
    , idlePixmap(QStringLiteral(":/images/ico_cloud.png"))
    , offlinePixmap(greyed(idlePixmap))
{
    versionLabel->setObjectName(QStringLiteral("VersionLabel"));
    versionLabel->setStyleSheet(QStringLiteral("margin-left:6px;"));
    connectionLabel->setObjectName(QStringLiteral("ConnectionLabel"));
    connectionLabel->setStyleSheet(QStringLiteral("margin-right:6px;"));
    voiceLabel->setObjectName(QStringLiteral("VoiceLabel"));
    voiceLabel->setStyleSheet(QStringLiteral("margin-right:12px;"));
    voiceLabel->hide();
    transferLabel->setObjectName(QStringLiteral("TransferLabel"));
    updateLink->setObjectName(QStringLiteral("UpdateLink"));
    updateLink->setTextFormat(Qt::RichText);
    updateLink->hide();
    transferMovie->setScaledSize(QSize(16, 16));

    layout->addWidget(versionLabel);
    layout->addWidget(updateLink);
    layout->addStretch(1);
    layout->addWidget(transferLabel);
    layout->addWidget(voiceLabel);
    layout->addWidget(connectionLabel);
    layout->setContentsMargins(0, 3, 3, 0);
    layout->setSpacing(0);

    setFixedHeight(27);
    setObjectName(QStringLiteral("StatusBar"));
    setStyleSheet(QStringLiteral("QFrame#StatusBar{background-image:url(:images/bg_statusbar.png);"
                                 "background-repeat:repeat-x;border-bottom-left-radius:5px;"
                                 "border-bottom-right-radius:5px;}QLabel{color:#333333;}"));

    connect(updateLink, &QLabel::linkActivated, this, &StatusBar::slot_download_newversion);
    API* api = API::instance();
    connect(api, &BaseHttp::signal_trans_start, this, &StatusBar::slot_trans_start);
    connect(api, &BaseHttp::signal_trans_finished, this, &StatusBar::slot_trans_finished);
    connect(api, &BaseHttp::signal_connection_changed, this, &StatusBar::slot_connection_changed);
    slot_connection_changed(api->isConnected());
    connect(VoiceReconnector::instance(), &VoiceReconnector::signal_voice_connection_changed, this,
        &StatusBar::slot_voice_connection_changed);
}

QString StatusBar::downloadUrl()
{
    return QStringLiteral("http://") + PlatformAddress::current().hostPort + QStringLiteral("/download/setup.exe");
}

bool StatusBar::isNewerVersion(const QString& serverVersion)
{
    return QString::compare(serverVersion, QStringLiteral(FREYMO_VERSION_TEXT), Qt::CaseSensitive) > 0;
}

void StatusBar::slot_trans_start()
{
    qDebug() << "slot_trans_start";
    transferLabel->clear();
    transferLabel->setMovie(transferMovie);
    transferMovie->start();
}

void StatusBar::slot_trans_finished()
{
    qDebug() << "slot_trans_finished";
    transferLabel->clear();
    transferMovie->stop();
    transferLabel->setPixmap(API::instance()->isConnected() ? idlePixmap : offlinePixmap);
}

void StatusBar::slot_connection_changed(bool connected)
{
    connectionLabel->setText(connectionText(connected));
    // A turning indicator, or none yet, is left alone: the next finish draws
    // the cloud that fits.
    if (!transferLabel->pixmap(Qt::ReturnByValue).isNull())
        transferLabel->setPixmap(connected ? idlePixmap : offlinePixmap);
}

void StatusBar::slot_voice_connection_changed(bool connected)
{
    voiceLabel->setVisible(!connected);
}

void StatusBar::slot_fetch_version_finished(QJsonObject* version, QString errors)
{
    Q_UNUSED(errors)
    if (!version)
        return;
    if (isNewerVersion(version->value(QStringLiteral("version")).toString()))
        updateLink->show();
}

void StatusBar::slot_download_newversion(QString url)
{
    QDesktopServices::openUrl(QUrl(url));
}

void StatusBar::showEvent(QShowEvent* event)
{
    QFrame::showEvent(event);
    if (versionChecked)
        return;
    versionChecked = true;
    API* api = API::instance();
    api->fetchVersion();
    connect(
        api, &API::signal_fetch_version_finished, this, &StatusBar::slot_fetch_version_finished, Qt::UniqueConnection);
}
