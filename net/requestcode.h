#pragma once

// The request codes that tie a reply to its parser. A code travels in no
// request and no answer: it is attached to the reply object as the dynamic
// property "mothed" and read back when the reply finishes.
enum class RequestCode : int {
    Login = 0, // signal_login_finished
    FetchTruckDict = 1, // signal_fetch_truckdict_finished
    FetchServiceInfo = 2, // signal_fetch_serviceinfo_finished
    FetchProfile = 3, // signal_fetch_profile_finished
    FetchMyProduct = 4, // signal_fetch_my_product_finished (no request uses it)
    FetchTruck = 5, // signal_fetch_truck_finished
    FetchShipper = 6, // signal_fetch_shipper_finished
    FetchConsignee = 7, // signal_fetch_consignee_finished
    FetchTrade = 8, // signal_fetch_trade_finished
    FetchNotification = 9, // signal_fetch_notification_finished
    FetchVersion = 10, // signal_fetch_version_finished
    SubmitTruck = 11, // signal_submit_truck_finished
    SubmitShipper = 12, // signal_submit_shipper_finished
    SubmitConsignee = 13, // signal_submit_consignee_finished
    SubmitTrade = 14, // signal_submit_trade_finished
    SubmitProfile = 15, // signal_submit_profile_finished
    SubmitPassword = 16, // signal_submit_password_finished
    SubmitSms = 17, // signal_submit_sms_finished
    SubmitFeedback = 18, // signal_submit_feedback_finished
    ChangeTruckStatus = 19, // signal_change_truck_status_finished
    ChangeTradeStatus = 20, // signal_change_trade_status_finished
    DeleteTruck = 21, // signal_delete_truck_finished
    DeleteShipper = 22, // signal_delete_shipper_finished
    DeleteConsignee = 23, // signal_delete_consignee_finished
    VisitStart = 24, // no signal: the answer is not read
    VisitEnd = 25, // signal_exit, whatever the answer
    FetchHistory = 26, // no signal: only the asker's handle hears the answer
    FetchReport = 27, // no signal: only the asker's handle hears the answer
};

constexpr int toInt(RequestCode code)
{
    return static_cast<int>(code);
}

// The highest code that has a meaning; codes above it (and negative ones) are ignored.
constexpr int LastRequestCode = toInt(RequestCode::FetchReport);
