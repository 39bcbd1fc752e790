#pragma once

namespace platform {

class Storage;

// The demo stations: "demo" (password "load"), a station with a full fleet,
// book and trade history, and "demo2" (same password), a smaller station
// beside it so that the separation of stations can be seen. The data is made
// from a fixed random seed, so every new demo database looks the same, with
// times relative to the moment of seeding.
class DemoSeed
{
public:
    // Creates both stations in one transaction when the database holds no
    // station yet. Returns true when it seeded. Throws on a database failure.
    static bool seedIfEmpty(const Storage& storage);

    static const char* demoPassword() { return "load"; }
};

} // namespace platform
