#pragma once

#include <QList>
#include <QStringList>
#include <QWidget>

class QToolButton;
class ToolBarButton;

// The row of section buttons under the main window's title bar. Buttons are
// placed by position and overlap by 15 pixels; the "more" button sits in the
// bottom right corner.
class ToolBar : public QWidget
{
    Q_OBJECT

public:
    explicit ToolBar(QWidget* parent = nullptr);

    // Draws the button at `index` pressed and the others normal, then emits
    // signal_toolbar_button_click(index). An index with no button does nothing.
    void setCurrentIndex(int index);

    const QList<ToolBarButton*>& buttonList() const { return buttons; }
    QToolButton* moreButtonWidget() const { return moreButton; }

signals:
    void signal_toolbar_button_click(int pos);

public slots:
    void slot_set(ToolBarButton* pObject);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    QList<ToolBarButton*> buttons;
    QStringList captions;
    QToolButton* moreButton;
};
