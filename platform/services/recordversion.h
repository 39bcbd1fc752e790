#pragma once

#include <QtGlobal>

namespace platform {

struct ApiContext;

// The version of the records a clerk edits: trucks, shippers, consignees,
// trades and the station's profile. Every write of a record increases its
// version in the statement that writes it, and every answer that shows a
// record carries it as "version".
//
// A write may name the version its form was opened on (the form field or
// query parameter "version"). The router checks it in the write's own
// transaction, before the write: a record that has moved on since refuses the
// write as stale, with the record's version and the record as it is now, so
// that the form can bring itself up to date without losing what was typed.
// A write without "version" is done as before.
class RecordVersion
{
public:
    enum Kind { None, Truck, Shipper, Consignee, Trade, Profile };

    // Refuses (ApiError) the request's write of its record of `kind` (the id
    // in path segment 1; the profile is the station's own) when the request
    // names a version the record no longer has. A record that does not exist
    // (or no longer does) is left for the service to refuse. The refusal's
    // text names who changed the record last and when, where the history
    // knows; its added keys are "stale" (true), "version" (the record's) and
    // "data" (the record as the lists show it).
    static void check(const ApiContext& context, Kind kind);

    // The version the record has now; -1 when it does not exist (any more).
    static qint64 current(const ApiContext& context, Kind kind);
};

} // namespace platform
