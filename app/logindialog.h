#pragma once

#include <QDialog>
#include <QString>

class QCheckBox;
class QLabel;
class QLineEdit;
class QToolButton;
class TitleBar;
struct UserToken;

// Asks for a user name and a password, signs in through the API, keeps the
// last login in account.dat, loads the truck dictionary, records the start of
// the visit and is accepted. Every other way out ends the process with -1.
class LoginDialog : public QDialog
{
    Q_OBJECT

public:
    explicit LoginDialog(QWidget* parent = nullptr);

    // The platform's demonstration account, filled in by the demo link.
    static QString demoUserName();
    static QString demoPassword();

public slots:
    void slot_singin_clicked();
    void slot_return_pressed();
    void slot_login_finished(UserToken* userToken, QString errors);
    void slot_fetch_truckdict_finished(bool success, QString errors);
    void slot_quit_application();
    void slot_open_url(QString url);

private:
    enum class Stage { Idle, SigningIn, LoadingDictionary, Done };

    void setupUi();
    void loadAccount();
    void saveAccount();
    void showProgress(const QString& text);
    void hideProgress();

    TitleBar* titleBar;
    QLabel* usernameLabel;
    QLabel* passwordLabel;
    QLineEdit* usernameEdit;
    QLineEdit* passwordEdit;
    QLabel* demoLink;
    QLabel* registerLink;
    QLabel* forgetLink;
    QToolButton* loginButton;
    QLabel* loadingLabel;
    QLabel* progressLabel;
    QLabel* platformLabel;
    QCheckBox* rememberCheck;
    Stage stage = Stage::Idle;
};
