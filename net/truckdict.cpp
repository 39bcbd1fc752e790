#include "net/truckdict.h"

TruckDict* TruckDict::instance()
{
    static TruckDict dict;
    return &dict;
}
