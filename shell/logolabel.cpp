#include "shell/logolabel.h"

LogoLabel::LogoLabel(QWidget* parent)
    : QLabel(parent)
{
    setObjectName(QStringLiteral("LogoLabel"));
    setCursor(Qt::PointingHandCursor);
}
