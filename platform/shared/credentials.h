#pragma once

#include <QByteArray>
#include <QString>

namespace platform {

// Password hashing, session tokens and voice-account secrets, all from
// libsodium. Passwords are kept only as Argon2id hashes; session tokens are
// handed to the client once and kept only as their digest. At most two
// Argon2 computations run at once; more callers wait for their turn.
class Credentials
{
public:
    // Argon2id in libsodium's string format (salt and limits included).
    // Throws std::runtime_error when libsodium cannot allocate the memory.
    static QString hashPassword(const QString& password);
    static bool verifyPassword(const QString& hash, const QString& password);
    // Spends the same work as a verification against a real hash, so that an
    // unknown user name takes as long to refuse as a wrong password.
    static void verifyAgainstDummy(const QString& password);

    // The length of a password as its user sees it: user-perceived
    // characters (grapheme clusters), without the white space around it and
    // without invisible format characters.
    static int passwordLength(const QString& password);

    // `bytes` random bytes as lower-case hexadecimal.
    static QString randomHex(int bytes);
    // `count` random decimal digits; the first is never 0.
    static QString randomDigits(int count);
    // A uniformly distributed number in [0, upperBound).
    static quint32 randomBelow(quint32 upperBound);

    // The digest under which a session token is stored (BLAKE2b, hex).
    static QString tokenDigest(const QString& token);
    // Compares two texts in time that does not depend on where they differ.
    static bool equalSecrets(const QString& a, const QString& b);

private:
    static void ensureInitialised();
};

} // namespace platform
