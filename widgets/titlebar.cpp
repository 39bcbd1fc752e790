#include "widgets/titlebar.h"

#include <QEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QMouseEvent>
#include <QPixmap>
#include <QScreen>
#include <QToolButton>

namespace {
// Every system button image holds four frames side by side. The nominal
// sizes keep the buttons usable should an image be missing.
constexpr int FrameCount = 4;
constexpr int FrameHeight = 22;
constexpr int NarrowFrameWidth = 33;
constexpr int CloseFrameWidth = 47;

QToolButton* makeSystemButton(QWidget* parent, const char* objectName)
{
    auto* button = new QToolButton(parent);
    button->setObjectName(QLatin1String(objectName));
    button->setFocusPolicy(Qt::NoFocus);
    return button;
}
} // namespace

TitleBar::TitleBar(QWidget* window)
    : QWidget(window)
    , host(window)
{
    iconLabel = new QLabel(this);
    iconLabel->setObjectName(QStringLiteral("iconLabel"));
    iconLabel->setPixmap(
        QPixmap(QStringLiteral(":/images/logo.ico")).scaled(18, 18, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
    iconLabel->setStyleSheet(QStringLiteral("margin-left:3px"));

    titleLabel = new QLabel(QStringLiteral("Freymo - 中小型货站管理助手"), this);
    titleLabel->setObjectName(QStringLiteral("titleLabel"));
    titleLabel->setStyleSheet(QStringLiteral("color:white;"));

    minimizeButton = makeSystemButton(this, "minimizeButton");
    maximizeButton = makeSystemButton(this, "maximizeButton");
    closeButton = makeSystemButton(this, "closeButton");
    minimizeButton->setToolTip(QStringLiteral("最小化"));
    maximizeButton->setToolTip(QStringLiteral("最大化"));
    closeButton->setToolTip(QStringLiteral("关闭"));
    updateButtonImage(minimizeButton, 1, true);
    updateButtonImage(maximizeButton, 1, true);
    updateButtonImage(closeButton, 1, true);

    const QList<QWidget*> children = findChildren<QWidget*>();
    for (QWidget* child : children) {
        child->setMouseTracking(true);
        if (auto* button = qobject_cast<QToolButton*>(child)) {
            connect(button, &QToolButton::clicked, this, &TitleBar::slot_btnclick);
            button->setContentsMargins(0, 0, 0, 0);
        }
    }

    setSizePolicy(QSizePolicy::Minimum, QSizePolicy::Maximum);
    setStyleSheet(QStringLiteral("QLabel{color:#666666;font-weight:bold;}QToolButton{border:0px;margin:-2px;}"));

    layout = new QHBoxLayout(this);
    layout->addWidget(iconLabel);
    layout->addWidget(titleLabel);
    layout->addStretch(1);
    layout->addWidget(minimizeButton);
    layout->addWidget(maximizeButton);
    layout->addWidget(closeButton);
    layout->setContentsMargins(0, 0, 3, 0);
    layout->setSpacing(0);

    minimizeButton->installEventFilter(this);
    maximizeButton->installEventFilter(this);
    closeButton->installEventFilter(this);
}

void TitleBar::hideMaximizeButton()
{
    maximizeButton->hide();
}

void TitleBar::hideIconAndTitle()
{
    iconLabel->hide();
    titleLabel->hide();
}

void TitleBar::updateButtonImage(QToolButton* button, int frame, bool initial)
{
    QString image;
    int nominalWidth = NarrowFrameWidth;
    if (button == minimizeButton) {
        image = QStringLiteral(":/images/btn_sys_min.png");
    } else if (button == maximizeButton) {
        const bool maximized = !initial && host && host->isMaximized();
        image = maximized ? QStringLiteral(":/images/btn_sys_restore.png") : QStringLiteral(":/images/btn_sys_max.png");
    } else if (button == closeButton) {
        image = QStringLiteral(":/images/btn_sys_close.png");
        nominalWidth = CloseFrameWidth;
    } else {
        return;
    }
    frame = qBound(1, frame, FrameCount);

    const QPixmap pixmap(image);
    QSize frameSize(nominalWidth, FrameHeight);
    if (!pixmap.isNull())
        frameSize = QSize(pixmap.width() / FrameCount, pixmap.height());

    if (pixmap.isNull())
        button->setIcon(QIcon());
    else
        button->setIcon(QIcon(pixmap.copy((frame - 1) * frameSize.width(), 0, frameSize.width(), frameSize.height())));
    button->setIconSize(frameSize);
    button->setFixedWidth(frameSize.width());
    // What is shown, for style sheets and for tests that cannot see pixels.
    button->setProperty("image", image);
    button->setProperty("frame", frame);
}

void TitleBar::slot_btnclick()
{
    auto* button = qobject_cast<QToolButton*>(sender());
    if (!button || !host)
        return;
    if (button == minimizeButton) {
        host->showMinimized();
    } else if (button == maximizeButton) {
        if (host->isMaximized()) {
            host->showNormal();
        } else {
            host->showMaximized();
            if (QScreen* screen = QGuiApplication::primaryScreen())
                host->resize(screen->availableGeometry().size());
            host->move(0, 0);
        }
    } else if (button == closeButton) {
        emit signal_quit_application();
    }
}

bool TitleBar::eventFilter(QObject* watched, QEvent* event)
{
    auto* button = qobject_cast<QToolButton*>(watched);
    if (button && (button == minimizeButton || button == maximizeButton || button == closeButton)) {
        switch (event->type()) {
        case QEvent::Enter:
            updateButtonImage(button, 2);
            break;
        case QEvent::Leave:
            updateButtonImage(button, 1);
            break;
        case QEvent::MouseButtonPress:
            if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton)
                updateButtonImage(button, 3);
            break;
        default:
            break;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TitleBar::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        const int x = qRound(event->localPos().x());
        const int y = qRound(event->localPos().y());
        // The outermost pixels belong to the window's border, not the bar.
        if (y > 2 && x > 2 && width() - x > 4) {
            lastX = event->globalX();
            lastY = event->globalY();
            dragging = true;
            event->accept();
            return;
        }
    }
    QWidget::mousePressEvent(event);
}

void TitleBar::mouseMoveEvent(QMouseEvent* event)
{
    if (!dragging || !host) {
        event->ignore();
        return;
    }
    const int x = event->globalX();
    const int y = event->globalY();
    host->move(host->x() + x - lastX, host->y() + y - lastY);
    lastX = x;
    lastY = y;
}

void TitleBar::mouseReleaseEvent(QMouseEvent* event)
{
    dragging = false;
    QWidget::mouseReleaseEvent(event);
}
