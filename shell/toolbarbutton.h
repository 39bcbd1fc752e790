#pragma once

#include <QToolButton>

// One entry of the main window's tool bar: icon and caption side by side,
// drawn pressed while its section is shown.
class ToolBarButton : public QToolButton
{
    Q_OBJECT

public:
    ToolBarButton(const QString& iconPath, const QString& text, QWidget* parent = nullptr);

    void setPressed(bool pressed);
    bool isDrawnPressed() const { return drawnPressed; }

    // The position in the tool bar, 0 to 4.
    int index() const { return position; }
    void setIndex(int index) { position = index; }

    QString iconPath() const { return iconFile; }
    QString caption() const { return captionText; }

signals:
    void signal_parent(ToolBarButton* p);

public slots:
    void slot_pressed();

private:
    QString iconFile;
    QString captionText;
    int position = 0;
    bool drawnPressed = false;
};
