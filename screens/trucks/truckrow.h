#pragma once

#include <QFrame>
#include <QJsonObject>
#include <QPixmap>
#include <QPointer>

#include "widgets/richtextlabel.h"

class ApiCall;
class QLabel;
class QToolButton;

// One truck in the truck list: plate, picture of its class, class, drive,
// rated load and box, the two drivers as phone chips, and the company. The
// row draws its texts and its picture itself; its only child widgets are
// the chips and the remove button. A
// press on the row opens the truck form in edit mode; the remove button,
// shown while the pointer is over the row, deletes the truck after asking.
// The row's context menu prints the truck's loading list.
class MyTruckItem : public QFrame
{
    Q_OBJECT

public:
    static constexpr int RowHeight = 90;

    // `rowNumber` is the list's running row number (it picks the striping);
    // `host` holds the phone chips' overlays; `parent` is the list.
    MyTruckItem(const QJsonObject& truck, int rowNumber, QWidget* host, QWidget* parent);

    // The plate's look, for the list's style sheet: its size shrinks by the
    // label's property "platePixels" for a plate too wide at 14 pixels.
    static const char* styleRules();

    // The plate and the company line as the row draws them, in plain text,
    // and the picture of the truck's class (null for a class without one).
    QString plateText() const { return plate; }
    QString companyText() const { return company; }
    QPixmap picture() const { return classPixmap; }
    // The plate's font: the list's rules for "numberLabel", shrunk for a
    // plate too wide at 14 pixels.
    QFont plateFont() const;
    static QRect plateGeometry() { return QRect(5, 10, 84, 20); }
    static QRect pictureGeometry() { return QRect(5, 30, 70, 55); }
    static QRect companyGeometry() { return QRect(90, 60, 400, 20); }

    // The markup of one of the lines the row draws itself ("infoLabel",
    // "driver1Caption", "driver2Caption"), and its place.
    QString lineMarkup(const QString& name) const { return lines.markup(name); }
    QRect lineGeometry(const QString& name) const { return lines.geometry(name); }
    // Where the row draws its arrow.
    QRect arrowGeometry() const { return QRect(width() - 50, 30, 25, 25); }
    // Where the remove button shows while the pointer is over the row.
    QRect removeGeometry() const { return QRect(width() - 70, 30, 25, 25); }

public slots:
    void slot_remove();
    void slot_delete_truck_finished(bool success, const QString errors);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void enterEvent(QEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    QJsonObject truck;
    int truckId;
    QString plate;
    QString company;
    QPixmap classPixmap;
    // The plate's font size in pixels.
    int platePixels;
    int rowNumber;
    // This row's delete request while it awaits its answer.
    QPointer<ApiCall> deleteCall;
    // Made the first time the pointer comes over the row.
    QToolButton* removeButton = nullptr;
    RichTextLines lines;
};
