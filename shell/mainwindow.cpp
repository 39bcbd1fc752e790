#include "shell/mainwindow.h"

#include "net/api.h"
#include "shell/activitycontroller.h"
#include "shell/baseactivity.h"
#include "shell/frameedgegrip.h"
#include "shell/logolabel.h"
#include "shell/passworddialog.h"
#include "shell/processexit.h"
#include "shell/profiledialog.h"
#include "shell/statusbar.h"
#include "shell/toolbar.h"
#include "telephony/voicesession.h"
#include "widgets/titlebar.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QMessageBox>
#include <QPainter>
#include <QPixmap>
#include <QPointer>
#include <QShortcut>

MainWindow::MainWindow(const RootActivityFactory& rootActivity, QWidget* parent)
    : QFrame(parent)
    , titleBar(nullptr)
    , toolBar(nullptr)
    , logoLabel(nullptr)
    , statusBar(nullptr)
    , layout(nullptr)
    , voiceCallbacks(nullptr)
{
    // Window properties.
    setWindowTitle(QStringLiteral("Freymo"));
    resize(888, 566);
    setMinimumSize(888, 566);
    setWindowFlags(Qt::FramelessWindowHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint);
    setAutoFillBackground(true);
    setObjectName(QStringLiteral("MainWindow"));
    setStyleSheet(QStringLiteral("QFrame#MainWindow{border:1px solid #333333; background:#ffffff;}"));

    // Bars and layout.
    layout = new QGridLayout(this);
    titleBar = new TitleBar(this);
    toolBar = new ToolBar(this);
    toolBar->setObjectName(QStringLiteral("ToolBar"));
    statusBar = new StatusBar(this);
    logoLabel = new LogoLabel(this);
    layout->addWidget(titleBar, 0, 0);
    layout->addWidget(toolBar, 1, 0);
    layout->addWidget(statusBar, 3, 0);
    titleBar->hideIconAndTitle();
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    connect(toolBar, &ToolBar::signal_toolbar_button_click, this, &MainWindow::slot_toolbar_button_click);
    connect(titleBar, &TitleBar::signal_quit_application, this, &MainWindow::slot_quit_application);
    connect(toolBar, &ToolBar::signal_change_password, this, &MainWindow::slot_change_password);
    connect(toolBar, &ToolBar::signal_edit_profile, this, &MainWindow::slot_edit_profile);
    connect(toolBar, &ToolBar::signal_switch_account, this, &MainWindow::slot_switch_account);
    connect(API::instance(), &API::signal_exit, this, &MainWindow::slot_exit);

    // Controllers, each with its section's root screen.
    for (int i = 0; i < ControllerCount; ++i) {
        auto* controller = new ActivityController(this);
        controller->setObjectName(QStringLiteral("Controller%1").arg(i));
        controllers.append(controller);
    }
    QWidget* roots[ControllerCount] = {};
    for (int i = 0; i < ControllerCount; ++i)
        roots[i] = rootActivity ? rootActivity(i, this) : nullptr;
    for (int i = 0; i < ControllerCount; ++i) {
        controllers.at(i)->startActivity(roots[i], false, true);
        layout->addWidget(controllers.at(i), 2, 0);
    }
    for (int i = 1; i < ControllerCount; ++i)
        controllers.at(i)->hide();
    toolBar->setCurrentIndex(0);

    // Edges and corners to resize the frameless window by.
    for (Qt::Edges edges : { Qt::Edges(Qt::LeftEdge), Qt::Edges(Qt::RightEdge), Qt::Edges(Qt::TopEdge),
             Qt::Edges(Qt::BottomEdge), Qt::TopEdge | Qt::LeftEdge, Qt::TopEdge | Qt::RightEdge,
             Qt::BottomEdge | Qt::LeftEdge, Qt::BottomEdge | Qt::RightEdge }) {
        auto* grip = new FrameEdgeGrip(edges, this);
        grip->setObjectName(QStringLiteral("EdgeGrip%1").arg(int(edges)));
        grips.append(grip);
    }
    placeGrips();
    addSectionKeys();

    voiceCallbacks = new void*[VoiceSession::CallbackCount]();
}

MainWindow::~MainWindow()
{
    // Once handed to the voice platform, the table is kept and may be called
    // for as long as the process lives, so it is then left in place.
    if (!voiceStarted)
        delete[] voiceCallbacks;
}

void MainWindow::addSectionKeys()
{
    for (int i = 0; i < ControllerCount; ++i) {
        auto* key = new QShortcut(QKeySequence(Qt::CTRL | (Qt::Key_1 + i)), this);
        connect(key, &QShortcut::activated, this, [this, i] { toolBar->setCurrentIndex(i); });
    }
    // The screen on top of the section shown; a field with a use of its own
    // for Home and End (a line edit) keeps them.
    const auto onShown = [this](const QKeySequence& sequence, void (BaseActivity::*action)()) {
        auto* key = new QShortcut(sequence, this);
        connect(key, &QShortcut::activated, this, [this, action] {
            if (!currentControllerPtr)
                return;
            if (auto* shown = qobject_cast<BaseActivity*>(currentControllerPtr->topActivity()))
                (shown->*action)();
        });
    };
    onShown(QKeySequence(Qt::Key_F5), &BaseActivity::reloadFromStart);
    onShown(QKeySequence(Qt::Key_Home), &BaseActivity::scrollToStart);
    onShown(QKeySequence(Qt::Key_End), &BaseActivity::scrollToEnd);
}

ActivityController* MainWindow::controllerAt(int index) const
{
    if (index < 0 || index >= controllers.size())
        return nullptr;
    return controllers.at(index);
}

ActivityController* MainWindow::currentController() const
{
    return currentControllerPtr;
}

void MainWindow::showSection(int index)
{
    toolBar->setCurrentIndex(index);
}

QMenu* MainWindow::moreMenu() const
{
    return toolBar->moreMenu();
}

void MainWindow::slot_toolbar_button_click(int pos)
{
    for (int i = 0; i < controllers.size(); ++i) {
        if (i == pos) {
            controllers.at(i)->show();
            currentControllerPtr = controllers.at(i);
        } else {
            controllers.at(i)->hide();
        }
    }
}

void MainWindow::slot_quit_application()
{
    const QMessageBox::StandardButton answer = QMessageBox::question(nullptr, QStringLiteral("提醒"),
        QStringLiteral("确定要退出吗？"), QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes);
    if (answer != QMessageBox::Yes)
        return;
    hide();
    API* api = API::instance();
    // Without a session there is no visit to close: end at once.
    if (!api->userToken()) {
        slot_exit();
        return;
    }
    api->visitEnd();
}

void MainWindow::slot_change_password()
{
    if (!passwordDialog)
        passwordDialog = new PasswordDialog(this);
    passwordDialog->setGeometry(rect());
    passwordDialog->open();
}

void MainWindow::slot_edit_profile()
{
    if (!profileDialog)
        profileDialog = new ProfileDialog(this);
    profileDialog->setGeometry(rect());
    profileDialog->open();
}

void MainWindow::slot_switch_account()
{
    if (switchingAccount)
        return;
    const QMessageBox::StandardButton answer = QMessageBox::question(nullptr, QStringLiteral("提醒"),
        QStringLiteral("确定要切换账号吗？"), QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes);
    if (answer != QMessageBox::Yes)
        return;
    hide();
    switchingAccount = true;
    API* api = API::instance();
    if (!api->userToken()) {
        slot_exit();
        return;
    }
    // Its answer, whatever it is, comes back as signal_exit().
    api->visitEnd();
}

void MainWindow::slot_exit()
{
    if (!switchingAccount) {
        exitProcess(-1);
        return;
    }
    switchingAccount = false;
    API::instance()->endSession();
    emit signal_switch_account();
}

void MainWindow::paintEvent(QPaintEvent* event)
{
    QFrame::paintEvent(event);
    QPainter painter(this);
    painter.drawPixmap(QRect(1, 1, width() - 2, 105), QPixmap(QStringLiteral(":/images/bg_header.png")));
}

void MainWindow::resizeEvent(QResizeEvent* event)
{
    QFrame::resizeEvent(event);
    for (QWidget* dialog : { static_cast<QWidget*>(passwordDialog), static_cast<QWidget*>(profileDialog) }) {
        if (dialog)
            dialog->setGeometry(rect());
    }
    const QPixmap logo(QStringLiteral(":/images/logo.png"));
    logoLabel->setPixmap(logo);
    logoLabel->setGeometry(10, 10, logo.width(), logo.height());
    placeGrips();
}

void MainWindow::showEvent(QShowEvent* event)
{
    QFrame::showEvent(event);
    if (voiceStarted)
        return;
    VoiceSession::fillCallbacks(voiceCallbacks);
    // No voice account means nobody signed in (the window shown on its own):
    // there is nothing to sign in to the voice platform with.
    if (const VoiceAccount* account = API::instance()->voiceAccount())
        VoiceSession::start(voiceCallbacks, *account);
    voiceStarted = true;
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    event->ignore();
    slot_quit_application();
}

void MainWindow::changeEvent(QEvent* event)
{
    QFrame::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange)
        placeGrips();
}

void MainWindow::placeGrips()
{
    // A maximised window has no edges to drag.
    const bool resizable = !(windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen));
    for (FrameEdgeGrip* grip : qAsConst(grips)) {
        grip->setVisible(resizable);
        if (resizable)
            grip->place();
    }
}
