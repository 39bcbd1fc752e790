#pragma once

#include <QFont>
#include <QString>

// The application font: `base` with the families and the pixel size that
// every screen is laid out for. Offscreen and X11 platforms pick different
// default point sizes; a fixed pixel size makes the fixed-pixel layouts look
// the same everywhere.
//
// Header-only, so that the start-up benchmark's floor can show its text in
// the same font without linking the client.
inline QFont applicationFont(QFont base)
{
    base.setFamilies({ QStringLiteral("Microsoft Yahei"), QStringLiteral("WenQuanYi Micro Hei"),
        QStringLiteral("Noto Sans CJK SC") });
    base.setPixelSize(12);
    return base;
}
