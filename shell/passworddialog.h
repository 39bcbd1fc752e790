#pragma once

#include "widgets/dialogwidget.h"

#include <QPointer>

class ApiCall;
struct ApiAnswer;
class QLineEdit;

// The ••• menu's "修改密码": the old password and the new one twice, sent
// through API::submitPassword. The platform's refusal (its password rules
// among them) is shown as it comes.
class PasswordDialog : public DialogWidget
{
    Q_OBJECT

public:
    explicit PasswordDialog(QWidget* parent);

    // Empties the fields and shows the dialog over its parent.
    void open();

public slots:
    void slot_ok(DialogWidget* dlg, QWidget* content);
    void slot_submit_password_finished(const ApiAnswer& answer);

private:
    QLineEdit* oldEdit;
    QLineEdit* newEdit;
    QLineEdit* againEdit;
    // The request whose answer this dialog waits for; null when none.
    QPointer<ApiCall> pending;
};
