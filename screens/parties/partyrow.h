#pragma once

#include <QFrame>
#include <QJsonObject>
#include <QPointer>

#include "widgets/richtextlabel.h"

class ApiCall;
class QLabel;
class QToolButton;
struct PartyBook;

// One row of a book of parties (a shipper or a consignee): the name, the
// address, the contact person and one or two phone chips, at fixed
// positions. A press on the row opens the record's edit form; the remove
// button, shown while the pointer is over the row, deletes the record after
// a question.
//
// The answer to a row's delete request reaches that row alone.
class PartyItem : public QFrame
{
    Q_OBJECT

public:
    static constexpr int RowHeight = 80;

    // The markup of one of the row's lines ("titleLabel", "addressLabel",
    // "contactLabel"), which the row draws itself, and its place.
    QString lineMarkup(const QString& name) const { return lines.markup(name); }
    QRect lineGeometry(const QString& name) const { return lines.geometry(name); }
    // Where the row draws its arrow.
    QRect arrowGeometry() const { return QRect(width() - 50, 33, 22, 22); }
    // Where the remove button shows while the pointer is over the row.
    QRect removeGeometry() const { return QRect(width() - 70, 30, 25, 25); }

public slots:
    void slot_remove();

protected:
    // `host` is the list screen's parent, the section's controller: the
    // phone chips' pop-ups cover it. `parent` is the list.
    PartyItem(const PartyBook& book, const QJsonObject& record, int number, QWidget* host, QWidget* parent);

    // Hands the answer to this row's delete request to the subclass's slot.
    virtual void takeDeleteAnswer(bool success, const QString& errors) = 0;
    void handleDeleteAnswer(bool success, const QString& errors);

    void mousePressEvent(QMouseEvent* event) override;
    // The first press of a double click has opened the form already.
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void enterEvent(QEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    const PartyBook& book;
    QJsonObject record;
    int id;
    int number;
    QPointer<QWidget> host;
    // Made the first time the pointer comes over the row.
    QToolButton* removeButton = nullptr;
    RichTextLines lines;
    // This row's delete request while it awaits its answer.
    QPointer<ApiCall> deleteCall;
};
