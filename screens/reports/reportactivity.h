#pragma once

#include "net/apicall.h"
#include "screens/lists/exporttable.h"
#include "shell/baseactivity.h"

// The base of the screens that show one of the platform's reports (the
// ledgers, the figures). A report is fetched when the screen is first shown,
// and again after a change of the records behind it: at once while it is
// shown, else when it is next shown. "导出" in the header writes what the
// screen shows to a spreadsheet or CSV file.
class ReportActivity : public BaseActivity
{
    Q_OBJECT

public:
    explicit ReportActivity(QWidget* parent = nullptr);

    // The rows as shown, in plain values.
    virtual ExportTable table() const = 0;

public slots:
    void slot_records_changed(RecordKind kind);

protected:
    void showEvent(QShowEvent* event) override;

    // Sends the report's request; an implementation clears `stale` and sets
    // `loaded` once an answer is shown.
    virtual void fetch() = 0;
    // Whether a change of `kind` changes the report; every kind by default,
    // since the reports name trucks and parties too.
    virtual bool dependsOn(RecordKind kind) const;

    bool loaded = false;
    // The records changed since the report was last fetched.
    bool stale = false;
};
