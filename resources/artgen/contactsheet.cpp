#include "contactsheet.h"

#include "artkit.h"
#include "catalog.h"

#include <QDir>
#include <QFontMetricsF>
#include <QImageReader>
#include <QMap>
#include <QPainter>

#include <functional>

namespace {

using namespace art;
using namespace art::palette;

struct Loaded
{
    ArtEntry entry;
    QVector<QImage> frames;
};

QVector<QImage> readAll(const QString& path, QString* error)
{
    QImageReader reader(path);
    QVector<QImage> frames;
    do {
        QImage img = reader.read();
        if (img.isNull()) {
            if (frames.isEmpty())
                *error = QStringLiteral("cannot read %1: %2").arg(path, reader.errorString());
            break;
        }
        frames << img.convertToFormat(QImage::Format_ARGB32_Premultiplied);
        // Animations step with read(); multi-image files (the icon) jump.
    } while (reader.supportsAnimation() ? reader.canRead() : reader.jumpToImage(frames.size()));
    return frames;
}

// Nine-slice drawing the way a style sheet's border-image stretches.
void drawBorderImage(QPainter& p, const QRect& target, const QImage& img, int s)
{
    const int w = img.width(), h = img.height();
    const int xs[] = { 0, s, w - s, w };
    const int ys[] = { 0, s, h - s, h };
    const int tx[] = { target.left(), target.left() + s, target.right() + 1 - s, target.right() + 1 };
    const int ty[] = { target.top(), target.top() + s, target.bottom() + 1 - s, target.bottom() + 1 };
    for (int row = 0; row < 3; ++row) {
        for (int col = 0; col < 3; ++col) {
            const QRect src(xs[col], ys[row], xs[col + 1] - xs[col], ys[row + 1] - ys[row]);
            const QRect dst(tx[col], ty[row], tx[col + 1] - tx[col], ty[row + 1] - ty[row]);
            p.drawImage(dst, img, src);
        }
    }
}

void text(QPainter& p, const QPointF& at, const QString& s, qreal size, const QColor& color, bool bold = false)
{
    p.setFont(cjkFont(size, bold));
    p.setPen(color);
    p.drawText(at, s);
}

qreal textWidth(const QString& s, qreal size, bool bold = false)
{
    return QFontMetricsF(cjkFont(size, bold)).horizontalAdvance(s);
}

// Looks an image of the set up by file name (its first frame).
using Images = std::function<QImage(const QString&)>;

// The main window's upper part, a truck list and the status bar, made of
// the images the way the client lays them out.
QImage mainWindowMock(const Images& img)
{
    QImage out(888, 566, QImage::Format_ARGB32_Premultiplied);
    out.fill(Qt::white);
    QPainter p(&out);
    prepare(p);
    p.drawImage(QRect(1, 1, 886, 105), img(QStringLiteral("bg_header.png")));
    p.drawImage(10, 10, img(QStringLiteral("logo.png")));

    // System buttons: frame 1 of each, the close button hovered.
    const QImage close = img(QStringLiteral("btn_sys_close.png"));
    const QImage max = img(QStringLiteral("btn_sys_max.png"));
    const QImage min = img(QStringLiteral("btn_sys_min.png"));
    int x = 888 - 1 - 3 - 47;
    p.drawImage(QPoint(x, 1), close, QRect(47, 0, 47, 22));
    x -= 33;
    p.drawImage(QPoint(x, 1), max, QRect(0, 0, 33, 22));
    x -= 33;
    p.drawImage(QPoint(x, 1), min, QRect(0, 0, 33, 22));

    const QStringList captions = { QStringLiteral("首页"), QStringLiteral("业务管理"), QStringLiteral("托运人管理"),
        QStringLiteral("货车管理"), QStringLiteral("收货人管理") };
    const int barTop = 21;
    p.save();
    p.setClipRect(QRect(0, 0, 888, barTop + 84));
    for (int i = 0; i < 5; ++i) {
        const QRect button(i * 130, barTop + 39, 145, 46);
        if (i == 3)
            p.drawImage(button.topLeft(), img(QStringLiteral("bg_toolbutton_pressed.png")));
        if (i == 1)
            p.drawImage(button.topLeft(), img(QStringLiteral("bg_toolbutton_hover.png")));
        const qreal tw = textWidth(captions[i], 14);
        const qreal start = button.left() + (145 - (32 + 4 + tw)) / 2;
        p.drawImage(QPointF(start, button.top() + 7), img(QStringLiteral("icon_toolbar_%1.png").arg(i + 1)));
        text(p, QPointF(start + 36, button.top() + 28), captions[i], 14, i == 3 ? blue : QColor(Qt::white));
    }
    p.restore();
    p.drawImage(QRect(888 - 35, barTop + 84 - 35, 28, 28), img(QStringLiteral("ico_more.png")));

    // The screen's header strip: back, title, action.
    const int strip = barTop + 84;
    p.fillRect(QRect(1, strip, 886, 35), greenPale);
    p.fillRect(QRect(1, strip + 34, 886, 1), green);
    p.drawImage(QRect(6, strip + 3, 55, 28), img(QStringLiteral("btn_back_normal.png")), QRect(0, 0, 55, 28));
    text(p, QPointF(6 + 21, strip + 21.5), QStringLiteral("返回"), 12, Qt::white);
    p.drawImage(62, strip + 4, img(QStringLiteral("line_v.png")));
    text(p, QPointF(70, strip + 22.5), QStringLiteral("添加货车"), 14, ink);
    const QRect action(888 - 1 - 6 - 72, strip + 5, 72, 24);
    p.drawImage(action.left() - 4, strip + 4, img(QStringLiteral("line_v.png")));
    drawBorderImage(p, action, img(QStringLiteral("btn_action_normal.png")), 4);
    text(p, QPointF(action.left() + 12, action.top() + 16.5), QStringLiteral("保存货车"), 12, Qt::white);
    const QRect action2(888 - 1 - 6 - 72 - 86, strip + 5, 72, 24);
    drawBorderImage(p, action2, img(QStringLiteral("btn_action_hover.png")), 4);
    text(p, QPointF(action2.left() + 12, action2.top() + 16.5), QStringLiteral("重新填写"), 12,
        QColor(0xFF, 0x66, 0x00));

    // Two truck rows, the second striped and hovered with its chips.
    const int rowsTop = strip + 35;
    for (int r = 0; r < 2; ++r) {
        const QRect row(1, rowsTop + r * 90, 886, 90);
        p.fillRect(row, r == 1 ? QColor(0xF8, 0xFF, 0xF0) : QColor(Qt::white));
        p.fillRect(QRect(row.left(), row.bottom(), row.width(), 1), QColor(0xEE, 0xEE, 0xEE));
        text(p, QPointF(row.left() + 5, row.top() + 25),
            r == 0 ? QStringLiteral("京A12345") : QStringLiteral("津C67890"), 14, blue, true);
        p.drawImage(row.left() + 5, row.top() + 30, img(QStringLiteral("img_truck_default_%1.png").arg(r)));
        text(p, QPointF(row.left() + 90, row.top() + 25),
            r == 0 ? QStringLiteral("重卡  单桥    额定载重20吨  厢式货箱  宽2.3米  长9.6米  高2.5米")
                   : QStringLiteral("中卡  单桥    额定载重8吨  厢式货箱  宽2.1米  长6.8米  高2.3米"),
            12, ink);
        text(p, QPointF(row.left() + 90, row.top() + 50), QStringLiteral("司机1:"), 12, ink, true);
        for (int chip = 0; chip < 2; ++chip) {
            const QRectF c(row.left() + 128 + chip * 192, row.top() + 32, 134, 25);
            const bool hovered = r == 1 && chip == 0;
            p.setPen(QPen(hovered ? QColor(0x00, 0x66, 0x00) : QColor(0x94, 0xA6, 0x8C), 1));
            p.setBrush(hovered ? QColor(0xCC, 0xCC, 0x00) : QColor(0xE9, 0xFA, 0xDE));
            p.drawRoundedRect(c.adjusted(0.5, 0.5, -0.5, -0.5), 12, 12);
            if (hovered) {
                p.drawImage(QPointF(c.left() - 1, c.top()), img(QStringLiteral("ico_call.png")));
                p.drawImage(QPointF(c.right() - 29, c.top()), img(QStringLiteral("ico_sms.png")));
                text(p, QPointF(c.left() + 30, c.top() + 17), QStringLiteral("13800138000"), 13,
                    QColor(0x99, 0x66, 0x00));
            } else {
                text(p, QPointF(c.left() + 7, c.top() + 17), QStringLiteral("王师傅"), 12, QColor(0x66, 0x66, 0x66));
                text(p, QPointF(c.left() + 47, c.top() + 17), QStringLiteral("13800138000"), 13,
                    QColor(0x99, 0x66, 0x00));
            }
        }
        text(p, QPointF(row.left() + 90, row.top() + 75), QStringLiteral("顺达物流  电话:022-12345678"), 12, ink);
        p.drawImage(row.right() - 50, row.top() + 30, img(QStringLiteral("list_arrow.png")));
        if (r == 1)
            p.drawImage(row.right() - 70, row.top() + 30, img(QStringLiteral("ico_remove.png")));
    }

    // A trade row.
    const QRect trade(1, rowsTop + 180, 886, 100);
    p.fillRect(trade, stripe);
    p.drawImage(trade.left() + 5, trade.top() + 10, img(QStringLiteral("trade_status_1.png")));
    text(p, QPointF(trade.left() + 100, trade.top() + 25),
        QStringLiteral("承运车辆：京A12345  托运人：李先生  收货人：张女士"), 12, ink);
    text(p, QPointF(trade.left() + 100, trade.top() + 45), QStringLiteral("货物:钢材 20吨  价值：50000元  代收款：否"),
        12, ink);
    p.drawImage(trade.right() - 50, trade.top() + 40, img(QStringLiteral("list_arrow.png")));

    // The loading overlay over the lower part.
    const QRect dim(1, rowsTop + 280, 886, 566 - 27 - rowsTop - 280);
    p.fillRect(dim, QColor(100, 100, 100, 70));
    const QImage gear = img(QStringLiteral("loading_gear.gif"));
    p.drawImage(dim.center().x() - 24, dim.center().y() - 34, gear);
    text(p, QPointF(dim.center().x() - 36, dim.center().y() + 30), QStringLiteral("正在加载..."), 12, Qt::white, true);
    p.drawImage(QRect(dim.left() + 40, dim.center().y() - 14, 150, 28), img(QStringLiteral("img_nodata.png")));

    // Status bar.
    const QRect bar(1, 566 - 1 - 27, 886, 27);
    const QImage strip27 = img(QStringLiteral("bg_statusbar.png"));
    for (int bx = bar.left(); bx < bar.right(); bx += strip27.width())
        p.drawImage(bx, bar.top(), strip27);
    text(p, QPointF(bar.left() + 6, bar.top() + 18), QStringLiteral("主程序版本：1.0.1 Beta"), 12, ink);
    p.drawImage(bar.right() - 150, bar.top() + 5, img(QStringLiteral("ico_cloud.png")));
    p.drawImage(bar.right() - 176, bar.top() + 5, img(QStringLiteral("loading.gif")));
    text(p, QPointF(bar.right() - 128, bar.top() + 18), QStringLiteral("已成功连接至管理平台"), 12, ink);

    p.setPen(QColor(0x33, 0x33, 0x33));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(0.5, 0.5, 887, 565));
    return out;
}

// The login dialog, and below it a board tile with its buttons.
QImage loginMock(const Images& img)
{
    QImage out(380, 566, QImage::Format_ARGB32_Premultiplied);
    out.fill(Qt::white);
    QPainter p(&out);
    prepare(p);
    p.fillRect(QRect(0, 0, 380, 260), paper);
    p.drawImage(0, 0, img(QStringLiteral("bg_header.png")));
    QImage ico = img(QStringLiteral("logo.ico"));
    p.drawImage(QRect(4, 2, 18, 18), ico);
    text(p, QPointF(26, 16), QStringLiteral("Freymo - 中小型货站管理助手"), 12, Qt::white);
    p.drawImage(QPoint(380 - 3 - 47 - 33, 0), img(QStringLiteral("btn_sys_min.png")), QRect(33, 0, 33, 22));
    p.drawImage(QPoint(380 - 3 - 47, 0), img(QStringLiteral("btn_sys_close.png")), QRect(0, 0, 47, 22));
    text(p, QPointF(22, 137), QStringLiteral("用户名:"), 12, ink);
    text(p, QPointF(22, 170), QStringLiteral("密码："), 12, ink);
    for (int i = 0; i < 2; ++i) {
        p.setPen(QPen(i == 0 ? QColor(0x94, 0xD0, 0x35) : QColor(0xCC, 0xCC, 0xCC), 1));
        p.setBrush(Qt::white);
        p.drawRoundedRect(QRectF(70.5, 122.5 + i * 33, 170, 24), 4, 4);
    }
    text(p, QPointF(252, 137), QStringLiteral("演示账号   注册账号"), 12, QColor(0x05, 0x45, 0x00));
    text(p, QPointF(252, 170), QStringLiteral("忘记密码"), 12, QColor(0x05, 0x45, 0x00));
    drawBorderImage(p, QRect(70, 212, 75, 24), img(QStringLiteral("btn_normal.png")), 4);
    text(p, QPointF(96, 229), QStringLiteral("登录"), 12, Qt::black);
    drawBorderImage(p, QRect(155, 212, 75, 24), img(QStringLiteral("btn_hover.png")), 4);
    text(p, QPointF(181, 229), QStringLiteral("登录"), 12, Qt::black);
    p.drawImage(240, 216, img(QStringLiteral("loading.gif")));
    text(p, QPointF(260, 229), QStringLiteral("正在登录，请稍候..."), 12, ink);
    p.setPen(QColor(0x33, 0x33, 0x33));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(0.5, 0.5, 379, 259));

    // Board tiles: one resting, one on the road under the hover overlay.
    for (int t = 0; t < 2; ++t) {
        const QRect tile(10 + t * 180, 280, 165, 160);
        p.drawImage(tile.center().x() - 40, tile.top() + 5,
            img(t == 0 ? QStringLiteral("img_truck_sleeping.png") : QStringLiteral("img_truck_working.png")));
        const QString number = t == 0 ? QStringLiteral("京A12345") : QStringLiteral("津C67890");
        text(p, QPointF(tile.center().x() - textWidth(number, 16) / 2, tile.top() + 82), number, 16, ink);
        if (t == 1) {
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(100, 100, 100, 128));
            p.drawRoundedRect(tile, 5, 5);
            const int bx = tile.left() + (tile.width() - 135) / 2;
            p.drawImage(bx, tile.bottom() + 1 - 65, img(QStringLiteral("btn_blue_normal.png")));
            text(p, QPointF(bx + 55, tile.bottom() + 1 - 65 + 20), QStringLiteral("配货"), 12, ink);
            p.drawImage(bx, tile.bottom() + 1 - 32, img(QStringLiteral("btn_green_hover.png")));
            text(p, QPointF(bx + 55, tile.bottom() + 1 - 32 + 20), QStringLiteral("发车"), 12, Qt::black);
        }
    }

    // The dialog overlay's button bar.
    const QRect barRect(10, 460, 360, 40);
    p.fillRect(barRect, dialogBar);
    const char* states[] = { "btn_dialog_normal.png", "btn_dialog_hover.png", "btn_dialog_pressed.png" };
    for (int i = 0; i < 3; ++i) {
        const QRect b(barRect.right() - 10 - (3 - i) * 64, barRect.top() + 7, 58, 27);
        drawBorderImage(p, b, img(QString::fromLatin1(states[i])), 4);
        text(p, QPointF(b.left() + 17, b.top() + 18), i == 2 ? QStringLiteral("取消") : QStringLiteral("确定"), 12,
            Qt::black);
    }
    // Side bar headings.
    p.fillRect(QRect(10, 510, 360, 50), paper);
    p.drawImage(16, 516, img(QStringLiteral("ico_user.png")));
    text(p, QPointF(38, 529), QStringLiteral("用户信息"), 12, Qt::black, true);
    p.drawImage(16, 538, img(QStringLiteral("ico_deposit_s.png")));
    text(p, QPointF(38, 551), QStringLiteral("客服联系信息"), 12, Qt::black, true);
    return out;
}

} // namespace

QString writeContactSheet(const QString& imagesDir, const QString& outputFile)
{
    const QVector<ArtEntry> entries = artCatalog();
    QMap<QString, Loaded> loaded;
    for (const ArtEntry& e : entries) {
        QString error;
        const QVector<QImage> frames = readAll(QDir(imagesDir).filePath(e.name), &error);
        if (frames.isEmpty())
            return error;
        loaded.insert(e.name, { e, frames });
    }
    const Images img = [&loaded](const QString& name) { return loaded.value(name).frames.value(0); };

    const int width = 1320;
    const int margin = 24;
    const int gutter = 18;
    const int zoom = 3;

    struct Cell
    {
        const Loaded* item;
        QSize preview; // area for the pictures
        QSize size; // the whole cell
        QPoint pos;
        QString group;
    };
    QVector<Cell> cells;
    for (const ArtEntry& e : entries) {
        const Loaded& l = loaded[e.name];
        const QSize first = l.frames.first().size();
        QSize preview;
        if (e.kind == ArtEntry::Kind::Ico) {
            int w = 0, h = 0;
            for (const QImage& f : l.frames) {
                const QSize s = f.width() > 64 ? QSize(64, 64) : f.size();
                w += s.width() + 8;
                h = qMax(h, s.height());
            }
            preview = QSize(w - 8, h);
        } else if (e.kind == ArtEntry::Kind::Gif) {
            const int scale = first.width() <= 16 ? 2 : 1;
            preview = QSize(l.frames.size() * (first.width() * scale + 6) - 6, first.height() * scale);
        } else if (qMax(first.width(), first.height()) <= 32) {
            preview = QSize(first.width() * (1 + zoom) + 10, first.height() * zoom);
        } else {
            preview = first;
        }
        const QString label = e.name;
        const int w = qMax(preview.width() + 16, int(textWidth(label, 12, true)) + 16);
        cells.append({ &l, preview, QSize(qMax(w, 110), preview.height() + 16 + 36), {}, e.group });
    }

    // Flow the cells; each group starts on a new line under its heading.
    int x = margin, y = 0, rowHeight = 0;
    const int mocksHeight = 566 + 60;
    y = margin + 40 + mocksHeight;
    QString group;
    QVector<QPair<QString, int>> headings;
    for (Cell& c : cells) {
        if (c.group != group) {
            y += rowHeight + (group.isEmpty() ? 0 : gutter);
            rowHeight = 0;
            x = margin;
            headings.append({ c.group, y });
            y += 34;
            group = c.group;
        }
        if (x + c.size.width() > width - margin) {
            x = margin;
            y += rowHeight + gutter;
            rowHeight = 0;
        }
        c.pos = QPoint(x, y);
        x += c.size.width() + gutter;
        rowHeight = qMax(rowHeight, c.size.height());
    }
    const int height = y + rowHeight + margin;

    QImage sheet(width, height, QImage::Format_ARGB32_Premultiplied);
    sheet.fill(QColor(0xFA, 0xFA, 0xFA));
    QPainter p(&sheet);
    prepare(p);
    text(p, QPointF(margin, margin + 20), QStringLiteral("Freymo built-in images (:/images/)"), 20, ink, true);
    text(p, QPointF(margin + 360, margin + 20),
        QStringLiteral("each shown on the colour it sits on in the client; icons also at %1x").arg(zoom), 13, greyText);

    const int mocksTop = margin + 40;
    text(p, QPointF(margin, mocksTop + 14), QStringLiteral("In place"), 15, greenDark, true);
    p.drawImage(margin, mocksTop + 30, mainWindowMock(img));
    p.drawImage(margin + 888 + 24, mocksTop + 30, loginMock(img));

    for (const auto& h : headings) {
        text(p, QPointF(margin, h.second + 20), h.first, 15, greenDark, true);
        p.fillRect(QRect(margin, h.second + 27, width - 2 * margin, 1), QColor(0xDD, 0xDD, 0xDD));
    }

    for (const Cell& c : cells) {
        const ArtEntry& e = c.item->entry;
        const QRect box(c.pos, c.size);
        p.setPen(QColor(0xE2, 0xE2, 0xE2));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(box).adjusted(0.5, 0.5, -0.5, -0.5));
        const QRect stage(box.left() + 1, box.top() + 1, box.width() - 2, c.preview.height() + 14);
        p.fillRect(stage, e.backdrop);
        const QPoint origin(box.left() + (box.width() - c.preview.width()) / 2, box.top() + 8);
        const QVector<QImage>& frames = c.item->frames;
        const QSize first = frames.first().size();
        if (e.kind == ArtEntry::Kind::Ico) {
            int fx = origin.x();
            for (const QImage& f : frames) {
                const QSize s = f.width() > 64 ? QSize(64, 64) : f.size();
                p.drawImage(QRect(QPoint(fx, origin.y() + c.preview.height() - s.height()), s), f);
                fx += s.width() + 8;
            }
        } else if (e.kind == ArtEntry::Kind::Gif) {
            const int scale = first.width() <= 16 ? 2 : 1;
            p.setRenderHint(QPainter::SmoothPixmapTransform, false);
            for (int i = 0; i < frames.size(); ++i)
                p.drawImage(QRect(origin.x() + i * (first.width() * scale + 6), origin.y(), first.width() * scale,
                                first.height() * scale),
                    frames[i]);
            p.setRenderHint(QPainter::SmoothPixmapTransform, true);
        } else if (qMax(first.width(), first.height()) <= 32) {
            p.drawImage(origin.x(), origin.y() + (c.preview.height() - first.height()) / 2, frames.first());
            p.setRenderHint(QPainter::SmoothPixmapTransform, false);
            p.drawImage(QRect(origin.x() + first.width() + 10, origin.y(), first.width() * zoom, first.height() * zoom),
                frames.first());
            p.setRenderHint(QPainter::SmoothPixmapTransform, true);
        } else {
            p.drawImage(origin, frames.first());
        }
        QString detail = QStringLiteral("%1 × %2").arg(first.width()).arg(first.height());
        if (e.kind == ArtEntry::Kind::Gif)
            detail += QStringLiteral(", %1 frames, %2 ms").arg(frames.size()).arg(e.frameDelay * 10);
        if (e.kind == ArtEntry::Kind::Ico)
            detail
                = QStringLiteral("%1 sizes, first %2 × %3").arg(frames.size()).arg(first.width()).arg(first.height());
        text(p, QPointF(box.left() + 8, stage.bottom() + 17), e.name, 12, ink, true);
        text(p, QPointF(box.left() + 8, stage.bottom() + 32), detail, 11, greyText);
    }
    p.end();
    if (!sheet.convertToFormat(QImage::Format_RGB32).save(outputFile, "PNG"))
        return QStringLiteral("cannot write %1").arg(outputFile);
    return {};
}
