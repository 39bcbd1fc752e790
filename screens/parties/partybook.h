#pragma once

#include "net/apicall.h"

#include <QString>

class API;
class ApiCall;
class BaseActivity;
class QFrame;
class QJsonObject;
class QWidget;

// The points in which the station's two books of parties, its shippers and
// its consignees, differ. Their list screens, rows and forms share one design
// and read everything that sets them apart from here.
struct PartyBook
{
    // The tool bar section whose controller holds the list and its forms.
    int section;
    QString title;
    QString actionText;
    // The rows' object name, which their style sheets select.
    QString rowName;
    // Shipper rows name the industry after the name.
    bool titleHasIndustry;
    // The delete question; %1 is the record's name.
    QString deleteQuestion;

    ApiCall* (API::*fetch)(int page, const QString& name);
    // The kind of the book's records in the API's change notices.
    RecordKind kind;
    ApiCall* (API::*deleteRecord)(int id);

    // A row of the list in `parent`; its phone chips open their pop-ups over `host`.
    QFrame* (*createRow)(const QJsonObject& record, int number, QWidget* host, QWidget* parent);
    // The add form when `record` is null, else the edit form of `record`
    // (which the form reads in its constructor only).
    BaseActivity* (*createForm)(QJsonObject* record, QWidget* parent);

    static const PartyBook shippers;
    static const PartyBook consignees;
};
