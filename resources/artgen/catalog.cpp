#include "catalog.h"

#include "animationart.h"
#include "artkit.h"
#include "buttonart.h"
#include "chromeart.h"
#include "iconart.h"
#include "pictureart.h"
#include "toolbarart.h"

namespace {

std::function<QVector<QImage>()> one(QImage (*draw)())
{
    return [draw] { return QVector<QImage> { draw() }; };
}

template <typename Arg> std::function<QVector<QImage>()> one(QImage (*draw)(Arg), Arg arg)
{
    return [draw, arg] { return QVector<QImage> { draw(arg) }; };
}

} // namespace

QVector<ArtEntry> artCatalog()
{
    using namespace art;
    using K = ArtEntry::Kind;
    using S = buttons::State;
    const QColor band(0x2E, 0x8C, 0x47);
    const QColor white(Qt::white);
    const QString window = QStringLiteral("Window");
    const QString toolBar = QStringLiteral("Tool bar");
    const QString buttonsGroup = QStringLiteral("Buttons");
    const QString motion = QStringLiteral("Animations");
    const QString pictures = QStringLiteral("Pictures");
    const QString iconsGroup = QStringLiteral("Icons");

    QVector<ArtEntry> all;
    auto png = [&all](const char* name, const QString& group, const QColor& backdrop,
                   std::function<QVector<QImage>()> render) {
        all.append({ QString::fromLatin1(name), group, K::Png, backdrop, std::move(render), 0 });
    };

    png("bg_header.png", window, white, one(chrome::headerBand));
    png("logo.png", window, band, one(chrome::logo));
    all.append({ QStringLiteral("logo.ico"), window, K::Ico, white, chrome::programIcon, 0 });
    png("btn_sys_min.png", window, band, one(chrome::systemButton, chrome::SystemButton::Minimize));
    png("btn_sys_max.png", window, band, one(chrome::systemButton, chrome::SystemButton::Maximize));
    png("btn_sys_restore.png", window, band, one(chrome::systemButton, chrome::SystemButton::Restore));
    png("btn_sys_close.png", window, band, one(chrome::systemButton, chrome::SystemButton::Close));
    png("bg_statusbar.png", window, white, one(chrome::statusBarStrip));
    png("line_v.png", window, palette::greenPale, one(chrome::verticalLine));

    using toolbar::Section;
    png("icon_toolbar_1.png", toolBar, band, one(toolbar::sectionIcon, Section::Home));
    png("icon_toolbar_2.png", toolBar, band, one(toolbar::sectionIcon, Section::Trades));
    png("icon_toolbar_3.png", toolBar, band, one(toolbar::sectionIcon, Section::Shippers));
    png("icon_toolbar_4.png", toolBar, band, one(toolbar::sectionIcon, Section::Trucks));
    png("icon_toolbar_5.png", toolBar, band, one(toolbar::sectionIcon, Section::Consignees));
    png("ico_more.png", toolBar, band, one(toolbar::moreIcon));
    png("bg_toolbutton_pressed.png", toolBar, band, one(toolbar::pressedTab));
    png("bg_toolbutton_hover.png", toolBar, band, one(toolbar::hoverTab));

    png("btn_back_normal.png", buttonsGroup, palette::greenPale, one(buttons::back, S::Normal));
    png("btn_back_hover.png", buttonsGroup, palette::greenPale, one(buttons::back, S::Hover));
    png("btn_action_normal.png", buttonsGroup, palette::greenPale, one(buttons::action, S::Normal));
    png("btn_action_hover.png", buttonsGroup, palette::greenPale, one(buttons::action, S::Hover));
    png("btn_dialog_normal.png", buttonsGroup, palette::dialogBar, one(buttons::dialog, S::Normal));
    png("btn_dialog_hover.png", buttonsGroup, palette::dialogBar, one(buttons::dialog, S::Hover));
    png("btn_dialog_pressed.png", buttonsGroup, palette::dialogBar, one(buttons::dialog, S::Pressed));
    png("btn_normal.png", buttonsGroup, palette::paper, one(buttons::login, S::Normal));
    png("btn_hover.png", buttonsGroup, palette::paper, one(buttons::login, S::Hover));
    png("btn_pressed.png", buttonsGroup, palette::paper, one(buttons::login, S::Pressed));
    png("btn_green_normal.png", buttonsGroup, white, one(buttons::greenFace, S::Normal));
    png("btn_green_hover.png", buttonsGroup, white, one(buttons::greenFace, S::Hover));
    png("btn_green_pressed.png", buttonsGroup, white, one(buttons::greenFace, S::Pressed));
    png("btn_blue_normal.png", buttonsGroup, white, one(buttons::blueFace, S::Normal));
    png("btn_blue_hover.png", buttonsGroup, white, one(buttons::blueFace, S::Hover));
    png("btn_blue_pressed.png", buttonsGroup, white, one(buttons::blueFace, S::Pressed));

    all.append({ QStringLiteral("loading.gif"), motion, K::Gif, palette::paper, animations::spinnerFrames,
        animations::spinnerDelay() });
    all.append({ QStringLiteral("loading_gear.gif"), motion, K::Gif, palette::overlayOnWhite, animations::gearFrames,
        animations::gearDelay() });

    using pictures::TradeState;
    png("img_truck_sleeping.png", pictures, white, one(pictures::truckResting));
    png("img_truck_working.png", pictures, white, one(pictures::truckOnTheRoad));
    png("img_truck_default_0.png", pictures, white, one(pictures::truckHeavy));
    png("img_truck_default_1.png", pictures, palette::stripe, one(pictures::truckMedium));
    png("img_truck_default_2.png", pictures, white, one(pictures::truckLight));
    png("trade_status_0.png", pictures, white, one(pictures::tradeState, TradeState::Waiting));
    png("trade_status_1.png", pictures, palette::stripe, one(pictures::tradeState, TradeState::InTransit));
    png("trade_status_2.png", pictures, white, one(pictures::tradeState, TradeState::Done));
    png("img_nodata.png", pictures, white, one(pictures::noData));
    png("img_calling.png", pictures, white, one(pictures::calling));

    const QColor chipHover(0xCC, 0xCC, 0x00);
    png("list_arrow.png", iconsGroup, white, one(icons::listArrow));
    png("ico_remove.png", iconsGroup, white, one(icons::remove));
    png("ico_call.png", iconsGroup, chipHover, one(icons::call));
    png("ico_sms.png", iconsGroup, chipHover, one(icons::sms));
    png("ico_cloud.png", iconsGroup, QColor(0xEE, 0xF4, 0xEA), one(icons::cloud));
    png("ico_user.png", iconsGroup, palette::paper, one(icons::user));
    png("ico_deposit_s.png", iconsGroup, palette::paper, one(icons::service));
    return all;
}
