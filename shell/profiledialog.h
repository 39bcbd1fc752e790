#pragma once

#include "widgets/dialogwidget.h"

#include <QPointer>

class ApiCall;
struct ApiAnswer;
class QLineEdit;
class QPlainTextEdit;

// The ••• menu's "货站资料": the station's contact, number, address and
// summary, read from the profile and saved through API::submitProfile. The
// side bar fetches the profile again after every saved change.
class ProfileDialog : public DialogWidget
{
    Q_OBJECT

public:
    explicit ProfileDialog(QWidget* parent);

    // Shows the dialog and fills it from a fresh profile.
    void open();

public slots:
    void slot_ok(DialogWidget* dlg, QWidget* content);
    void slot_fetch_profile_finished(const ApiAnswer& answer);
    void slot_submit_profile_finished(const ApiAnswer& answer);

private:
    QLineEdit* organEdit;
    QLineEdit* nameEdit;
    QLineEdit* mobileEdit;
    QLineEdit* addressEdit;
    QPlainTextEdit* summaryEdit;
    // The requests whose answers this dialog waits for; null when none.
    QPointer<ApiCall> fetching;
    QPointer<ApiCall> submitting;
};
