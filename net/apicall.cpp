#include "net/apicall.h"

ApiCall::ApiCall(int request, QObject* parent)
    : QObject(parent)
    , number(request)
{
}

void ApiCall::abandon()
{
    if (abandoned)
        return;
    abandoned = true;
    disconnect(this, &ApiCall::finished, nullptr, nullptr);
    deleteLater();
}

void ApiCall::deliver(const ApiAnswer& answer)
{
    if (answered || abandoned)
        return;
    answered = true;
    emit finished(answer);
}
