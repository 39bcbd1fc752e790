#pragma once

#include <QString>

class QFrame;
class QLabel;
class QToolButton;
class QWidget;

// Finds the parts of a phone number chip's pop-up on the host it covers:
// the overlay "Main", its panel "Body", the calling panel's status line and
// the panel's buttons. Each is null while it does not exist.
class PhonePopupParts
{
public:
    static QFrame* overlayOf(QWidget* host);
    static QFrame* panelOf(QWidget* host);
    static QLabel* statusLabelOf(QWidget* host);
    static QToolButton* buttonOf(QWidget* host, const QString& text);
};
