#pragma once

#include <QFrame>

class QGridLayout;
class QJsonObject;
class QLabel;
class QToolButton;

// The home screen's right-hand column: the signed-in station's profile, the
// platform's customer-service contacts and the feedback button. Both are
// fetched again every time the side bar is shown.
class SideBar : public QFrame
{
    Q_OBJECT

public:
    // `parent` must offer a slot slot_feedback_clicked(), which the feedback
    // button calls.
    explicit SideBar(QWidget* parent);

public slots:
    void slot_fetch_profile_finished(QJsonObject* profile, QString errors);
    void slot_fetch_serviceinfo_finished(QJsonObject* serviceinfo, QString errors);
    void slot_open_url(QString url);

protected:
    void showEvent(QShowEvent* event) override;

private:
    QGridLayout* grid;
    QLabel* userIcon;
    QLabel* userTitle;
    QLabel* organLabel;
    QLabel* nameLabel;
    QLabel* mobileLabel;
    QLabel* summaryLabel;
    QLabel* serviceIcon;
    QLabel* serviceTitle;
    QLabel* servicePhoneLabel;
    QLabel* serviceQQLabel;
    QToolButton* feedbackButton;
};
