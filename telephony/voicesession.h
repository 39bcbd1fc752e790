#pragma once

#include <QByteArray>
#include <QString>

struct VoiceAccount;

// The client's side of the voice platform SDK, which is loaded as a shared
// library at run time. When the library cannot be loaded, every call here is
// harmless and the session is simply offline.
//
// The SDK keeps the callback table it is given and calls its entries, maybe
// on a thread of its own, for as long as the process lives.
namespace VoiceSession {

// Entries of the callback table: 61 pointer-sized slots.
constexpr int CallbackCount = 61;
using CallbackTable = void* [CallbackCount];

// Fills the client's callbacks into a zero-filled table: the main window's
// (connected, connect error, alerting, log info, the no-op) and the phone
// pop-up's (proceeding, answered, failed, released). Every other entry stays null.
void fillCallbacks(void** table);

// The start sequence: voiceInit with the table, then voiceLogin with the
// voice switch's address (PlatformAddress::voiceHost() and voicePort()), the
// fixed application credentials and the account. Writes the results to the
// debug log. Returns false when the SDK could not be loaded.
bool start(void** table, const VoiceAccount& account);

// voiceIsOnline(); false when the SDK is not loaded.
bool isOnline();
// voiceMakeCall(1, number).
void makeCall(const QByteArray& latin1Number);
// voiceReleaseCall(0).
void releaseCall();

// Whether the SDK's library has been found and all its functions resolved
// (tries to load it on first use).
bool isLoaded();

// Test seams: the application never calls these.
// Where start() logs in; an empty host or a port of 0 restores the configured one.
void setServerForTesting(const QByteArray& host, int port);
// Loads the SDK from `path` (a file name with or without its suffix) instead of
// searching for it; an empty path restores the search. A library loaded before
// stays loaded (its thread may still run) but is no longer called.
void setLibraryForTesting(const QString& path);

} // namespace VoiceSession
