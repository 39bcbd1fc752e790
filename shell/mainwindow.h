#pragma once

#include <QFrame>
#include <QList>
#include <QPointer>

#include <functional>

class ActivityController;
class FrameEdgeGrip;
class LogoLabel;
class PasswordDialog;
class ProfileDialog;
class QMenu;
class QGridLayout;
class StatusBar;
class TitleBar;
class ToolBar;

// The client's one top-level window after login: a frameless frame with a
// self-drawn header (title bar, tool bar, logo), one activity controller per
// tool bar section in the middle, and the status bar at the bottom.
//
// Screens reach it through QApplication::activeWindow() and ask it for a
// controller with controllerAt() or currentController().
//
// The window knows no screen: whoever builds it hands in the factory of the
// sections' root activities, so the shell stays below the screens.
class MainWindow : public QFrame
{
    Q_OBJECT

public:
    static constexpr int ControllerCount = 5;

    // Builds the root activity of section `index` (see controllerAt()) with
    // `parent` as its parent; the section's controller then takes it over.
    using RootActivityFactory = std::function<QWidget*(int index, QWidget* parent)>;

    explicit MainWindow(const RootActivityFactory& rootActivity, QWidget* parent = nullptr);
    ~MainWindow() override;

    // The controller of tool bar entry `index`: 0 home, 1 trades, 2 shippers,
    // 3 trucks, 4 consignees. Null outside 0 to 4.
    ActivityController* controllerAt(int index) const;
    // The controller now shown.
    ActivityController* currentController() const;
    // Shows section `index` as a press on its tool bar button does.
    void showSection(int index);
    // The tool bar's ••• menu, to which screens add their entries.
    QMenu* moreMenu() const;

signals:
    // The account is to be switched: the visit has ended and the session is
    // gone. Whoever built the window discards it and asks for a new sign-in.
    void signal_switch_account();

public slots:
    void slot_toolbar_button_click(int pos);
    // The ••• menu: the password and the station's profile in dialogs over
    // the window; switching the account asks "确定要切换账号吗？", then ends
    // the visit as closing does, but emits signal_switch_account() where
    // closing ends the process.
    void slot_change_password();
    void slot_edit_profile();
    void slot_switch_account();
    // Asks "确定要退出吗？"; on Yes hides the window and sends the visit end
    // record, whose completion ends the process.
    void slot_quit_application();
    // Ends the process with exit status -1.
    void slot_exit();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    // A close request from outside (the window manager, a keyboard shortcut)
    // takes the same road as the title bar's close button.
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void placeGrips();
    // Ctrl+1 to Ctrl+5 switch sections in the tool bar's order; F5, Home and
    // End go to the screen shown.
    void addSectionKeys();

    TitleBar* titleBar;
    ToolBar* toolBar;
    LogoLabel* logoLabel;
    StatusBar* statusBar;
    QGridLayout* layout;
    bool voiceStarted = false;
    QList<ActivityController*> controllers;
    ActivityController* currentControllerPtr = nullptr;
    // The voice platform's callback table, zero-filled at construction.
    void** voiceCallbacks;
    QList<FrameEdgeGrip*> grips;
    // Made when first opened; they cover the window.
    QPointer<PasswordDialog> passwordDialog;
    QPointer<ProfileDialog> profileDialog;
    // Set while the visit end of an account switch is under way.
    bool switchingAccount = false;
};
