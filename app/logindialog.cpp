#include "app/logindialog.h"

#include "app/accountfile.h"
#include "net/api.h"
#include "net/platformaddress.h"
#include "net/usertoken.h"
#include "shell/processexit.h"
#include "shell/servicecontacts.h"
#include "widgets/titlebar.h"

#include <QCheckBox>
#include <QDebug>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMovie>
#include <QToolButton>
#include <QVBoxLayout>

namespace {
QString linkHtml(const QString& href, const QString& text)
{
    return QStringLiteral("<a href='%1' style='text-decoration:none;color:#054500'>%2</a>").arg(href, text);
}
} // namespace

LoginDialog::LoginDialog(QWidget* parent)
    : QDialog(parent)
{
    setupUi();
    loadAccount();

    API* api = API::instance();
    connect(api, &API::signal_login_finished, this, &LoginDialog::slot_login_finished);
    connect(api, &API::signal_fetch_truckdict_finished, this, &LoginDialog::slot_fetch_truckdict_finished);
    connect(titleBar, &TitleBar::signal_quit_application, this, &LoginDialog::slot_quit_application);
    connect(demoLink, &QLabel::linkActivated, this, &LoginDialog::slot_open_url);
}

QString LoginDialog::demoUserName()
{
    return QStringLiteral("demo");
}

QString LoginDialog::demoPassword()
{
    return QStringLiteral("load");
}

void LoginDialog::setupUi()
{
    setWindowTitle(QStringLiteral("登录Freymo"));
    resize(380, 260);
    setMinimumSize(380, 260);
    setWindowFlags(windowFlags() | Qt::FramelessWindowHint);
    setAutoFillBackground(true);
    setStyleSheet(QStringLiteral("QDialog{background-color:#F2F2F2;background-image:url(:images/bg_header.png);"
                                 "background-repeat:no-repeat;border:1px solid #333333;}"));

    titleBar = new TitleBar(this);
    titleBar->hideMaximizeButton();

    usernameLabel = new QLabel(QStringLiteral("用户名:"), this);
    passwordLabel = new QLabel(QStringLiteral("密码："), this);

    usernameEdit = new QLineEdit(this);
    usernameEdit->setObjectName(QStringLiteral("usernameEdit"));
    passwordEdit = new QLineEdit(this);
    passwordEdit->setObjectName(QStringLiteral("passwordEdit"));
    passwordEdit->setEchoMode(QLineEdit::Password);

    demoLink = new QLabel(linkHtml(QStringLiteral("demo"), QStringLiteral("演示账号")), this);
    demoLink->setObjectName(QStringLiteral("demoLink"));
    demoLink->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);

    const QString contactUrl = ServiceContacts::imContactUrl(ServiceContacts::defaultQQ());
    const Qt::TextInteractionFlags linkFlags = Qt::TextBrowserInteraction | Qt::TextSelectableByKeyboard;
    registerLink = new QLabel(linkHtml(contactUrl, QStringLiteral("注册账号")), this);
    registerLink->setObjectName(QStringLiteral("registerLink"));
    registerLink->setOpenExternalLinks(true);
    registerLink->setTextInteractionFlags(linkFlags);
    forgetLink = new QLabel(linkHtml(contactUrl, QStringLiteral("忘记密码")), this);
    forgetLink->setObjectName(QStringLiteral("forgetLink"));
    forgetLink->setOpenExternalLinks(true);
    forgetLink->setTextInteractionFlags(linkFlags);

    rememberCheck = new QCheckBox(QStringLiteral("记住用户名及密码"), this);
    rememberCheck->setObjectName(QStringLiteral("rememberCheck"));

    loginButton = new QToolButton(this);
    loginButton->setObjectName(QStringLiteral("GreenButton"));
    loginButton->setText(QStringLiteral("登录"));
    loginButton->setFixedSize(75, 24);

    auto* grid = new QGridLayout;
    grid->setContentsMargins(20, 90, 15, 0);
    grid->setSpacing(10);
    grid->addWidget(usernameLabel, 0, 0);
    grid->addWidget(usernameEdit, 0, 1);
    grid->addWidget(demoLink, 0, 2);
    grid->addWidget(registerLink, 0, 3);
    grid->addWidget(passwordLabel, 1, 0);
    grid->addWidget(passwordEdit, 1, 1);
    grid->addWidget(forgetLink, 1, 2, 1, 2);
    grid->addWidget(rememberCheck, 2, 1, 1, 3);
    grid->addWidget(loginButton, 3, 1, 1, 3);
    grid->setColumnStretch(0, 1);
    grid->setColumnStretch(1, 10);
    grid->setColumnStretch(2, 1);
    grid->setColumnStretch(3, 1);
    grid->setRowStretch(2, 0);

    auto* mainLayout = new QVBoxLayout(this);
    mainLayout->setContentsMargins(0, 0, 0, 0);
    mainLayout->setSpacing(0);
    mainLayout->addWidget(titleBar);
    mainLayout->addStretch();
    mainLayout->addLayout(grid);
    mainLayout->addStretch();

    loadingLabel = new QLabel(this);
    loadingLabel->setObjectName(QStringLiteral("loadingLabel"));
    loadingLabel->setGeometry(160, 220, 100, 30);
    loadingLabel->hide();
    progressLabel = new QLabel(QStringLiteral("正在登录，请稍候..."), this);
    progressLabel->setObjectName(QStringLiteral("progressLabel"));
    progressLabel->setGeometry(180, 220, 150, 30);
    progressLabel->hide();

    // Which platform the desk signs in to, small in the bottom corner: desks
    // of one station may be set up for different ones.
    platformLabel = new QLabel(this);
    platformLabel->setObjectName(QStringLiteral("platformLabel"));
    platformLabel->setStyleSheet(QStringLiteral("QLabel{color:#999999;font-size:11px;}"));
    platformLabel->setGeometry(8, 242, 160, 14);
    const QString platform = QStringLiteral("服务器：%1").arg(PlatformAddress::current().hostPort);
    // Measured in the line's own font, which its style sheet sets on polish;
    // before that it has the dialog's larger one and would be cut too short.
    platformLabel->ensurePolished();
    platformLabel->setText(platformLabel->fontMetrics().elidedText(platform, Qt::ElideMiddle, 160));
    platformLabel->setToolTip(platform);

    connect(loginButton, &QToolButton::clicked, this, &LoginDialog::slot_singin_clicked);
    connect(usernameEdit, &QLineEdit::returnPressed, this, &LoginDialog::slot_return_pressed);
    connect(passwordEdit, &QLineEdit::returnPressed, this, &LoginDialog::slot_return_pressed);

    usernameEdit->setFocus();
}

void LoginDialog::loadAccount()
{
    // A damaged file still offers what could be read before the damage.
    AccountFile file;
    file.load();
    if (!file.remember())
        return;
    usernameEdit->setText(file.username());
    passwordEdit->setText(file.password());
    rememberCheck->setChecked(true);
}

void LoginDialog::saveAccount()
{
    // A file that cannot be written does not stop the login.
    AccountFile().save(rememberCheck->isChecked(), usernameEdit->text(), passwordEdit->text());
}

void LoginDialog::showProgress(const QString& text)
{
    progressLabel->setText(text);
    progressLabel->show();
    loadingLabel->show();
    loginButton->setEnabled(false);
}

void LoginDialog::hideProgress()
{
    if (QMovie* movie = loadingLabel->movie())
        movie->stop();
    loadingLabel->hide();
    progressLabel->hide();
    loginButton->setEnabled(true);
}

void LoginDialog::slot_singin_clicked()
{
    if (stage != Stage::Idle)
        return;

    const QString name = usernameEdit->text().trimmed();
    const QString password = passwordEdit->text().trimmed();
    if (name.isEmpty()) {
        QMessageBox::information(nullptr, QStringLiteral("提醒"), QStringLiteral("请输入用户名！"));
        usernameEdit->setFocus();
        return;
    }
    if (password.isEmpty()) {
        QMessageBox::information(nullptr, QStringLiteral("提醒"), QStringLiteral("请输入密码！"));
        passwordEdit->setFocus();
        return;
    }

    // One animation per attempt; the label owns it, the previous one goes.
    if (QMovie* previous = loadingLabel->movie())
        previous->deleteLater();
    auto* movie = new QMovie(QStringLiteral(":/images/loading.gif"), QByteArray(), loadingLabel);
    loadingLabel->setMovie(movie);
    movie->start();
    showProgress(QStringLiteral("正在登录，请稍候..."));

    stage = Stage::SigningIn;
    API::instance()->login(name, password);
}

void LoginDialog::slot_return_pressed()
{
    if (sender() == usernameEdit)
        passwordEdit->setFocus();
    else if (sender() == passwordEdit)
        loginButton->click();
}

void LoginDialog::slot_login_finished(UserToken* userToken, QString errors)
{
    if (stage != Stage::SigningIn)
        return;

    if (userToken) {
        saveAccount();
        progressLabel->setText(QStringLiteral("正在获取资源..."));
        stage = Stage::LoadingDictionary;
        API::instance()->fetchTruckDict();
        return;
    }

    stage = Stage::Idle;
    hideProgress();
    QMessageBox::warning(nullptr, QStringLiteral("抱歉"), errors);
}

void LoginDialog::slot_fetch_truckdict_finished(bool success, QString errors)
{
    if (stage != Stage::LoadingDictionary)
        return;
    stage = Stage::Done;

    if (!success) {
        qDebug() << "truck dictionary not loaded:" << errors;
        QMessageBox::warning(
            nullptr, QStringLiteral("抱歉"), QStringLiteral("获取资源失败，请重试或同管理平台管理员联系！"));
        exitProcess(-1);
        return;
    }

    API::instance()->visitStart();
    accept();
}

void LoginDialog::slot_quit_application()
{
    exitProcess(-1);
}

void LoginDialog::slot_open_url(QString url)
{
    Q_UNUSED(url)
    usernameEdit->setText(demoUserName());
    passwordEdit->setText(demoPassword());
}
