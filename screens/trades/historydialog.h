#pragma once

#include "net/apicall.h"
#include "widgets/dialogwidget.h"

#include <QPointer>

class QHBoxLayout;
class QJsonObject;
class QListWidget;
class QToolButton;

// The history of one record over the screen that shows it: who changed it,
// when, and what each change did, oldest first, as the platform keeps it.
// It follows its parent's size.
class HistoryDialog : public DialogWidget
{
    Q_OBJECT

public:
    explicit HistoryDialog(QWidget* parent);

    // Shows the dialog and fetches the history of record `id` of `kind`.
    void open(RecordKind kind, int id);

    // One entry of the answer as the list shows it: "time  name（login）  action"
    // and, below, the changed fields with their values before and after.
    static QString entryText(RecordKind kind, const QJsonObject& entry);

    // Puts a "历史记录" button (object name "historyButton") into a form's
    // header, before `beside` and styled like it, which opens the history of
    // record `id` over `form`.
    static QToolButton* addButton(QWidget* form, QHBoxLayout* header, QToolButton* beside, RecordKind kind, int id);

public slots:
    void slot_fetch_history_finished(const ApiAnswer& answer);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QListWidget* list;
    RecordKind shownKind = RecordKind::Trade;
    QPointer<ApiCall> fetching;
};
