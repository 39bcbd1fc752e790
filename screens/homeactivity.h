#pragma once

#include "shell/baseactivity.h"

class DialogWidget;
class QComboBox;
class QPlainTextEdit;
class SideBar;

// The home section's root screen ("货车场站"). It carries the side bar in its
// side column and owns the feedback dialog that the side bar opens.
class HomeActivity : public BaseActivity
{
    Q_OBJECT

public:
    explicit HomeActivity(QWidget* parent = nullptr);

public slots:
    void slot_action() override;
    void slot_feedback_clicked();
    void slot_feedback_ok_clicked(DialogWidget* dlg, QWidget* container);
    void slot_submit_feedback_finished(bool success, const QString errors);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void buildFeedbackDialog();

    int boardWidth = 0;
    SideBar* sideBar;
    DialogWidget* feedbackDialog;
    QComboBox* categoryBox;
    QPlainTextEdit* contentEdit;
};
