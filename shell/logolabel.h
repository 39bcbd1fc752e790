#pragma once

#include <QLabel>

// The logo in the main window's top left corner, over the header picture.
class LogoLabel : public QLabel
{
    Q_OBJECT

public:
    explicit LogoLabel(QWidget* parent = nullptr);
};
