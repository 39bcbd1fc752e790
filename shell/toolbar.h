#pragma once

#include <QList>
#include <QStringList>
#include <QWidget>

class QMenu;
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
    // The "more" button's menu (object name "MoreMenu"); later features add
    // their entries to it.
    QMenu* moreMenu() const { return menu; }

signals:
    void signal_toolbar_button_click(int pos);
    // The entries of the "more" button's menu.
    void signal_change_password();
    void signal_edit_profile();
    void signal_switch_account();

public slots:
    void slot_set(ToolBarButton* pObject);
    // Opens the menu under the "more" button, its right edge on the button's.
    void slot_more_clicked();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    QList<ToolBarButton*> buttons;
    QStringList captions;
    QToolButton* moreButton;
    QMenu* menu;
};
