#pragma once

#include <QString>

// The voice platform account that the server hands out at login. Owned by API.
struct VoiceAccount
{
    QString subAccount; // "sub_account"
    QString subAccountPwd; // "sub_account_pwd"
    QString voipAccount; // "voip_account"
    QString voipPwd; // "voip_pwd"
};
