#include "credentials.h"

#include <QTextBoundaryFinder>
#include <QVector>

#include <sodium.h>

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <vector>

namespace platform {

namespace {

// Each Argon2 computation takes a while and 64 MiB: at most this many run at
// once in the process, the others wait for their turn.
const int maxConcurrentHashes = 2;

class HashTurn
{
public:
    HashTurn()
    {
        std::unique_lock<std::mutex> lock(mutex());
        freed().wait(lock, [] { return running() < maxConcurrentHashes; });
        ++running();
    }
    ~HashTurn()
    {
        {
            std::lock_guard<std::mutex> lock(mutex());
            --running();
        }
        freed().notify_one();
    }
    HashTurn(const HashTurn&) = delete;
    HashTurn& operator=(const HashTurn&) = delete;

private:
    static std::mutex& mutex()
    {
        static std::mutex m;
        return m;
    }
    static std::condition_variable& freed()
    {
        static std::condition_variable c;
        return c;
    }
    static int& running()
    {
        static int count = 0;
        return count;
    }
};

} // namespace

void Credentials::ensureInitialised()
{
    static const bool initialised = [] {
        if (sodium_init() < 0)
            throw std::runtime_error("libsodium could not be initialised");
        return true;
    }();
    (void)initialised;
}

QString Credentials::hashPassword(const QString& password)
{
    ensureInitialised();
    const QByteArray utf8 = password.toUtf8();
    char hash[crypto_pwhash_STRBYTES];
    const HashTurn turn;
    if (crypto_pwhash_str_alg(hash, utf8.constData(), static_cast<unsigned long long>(utf8.size()),
            crypto_pwhash_OPSLIMIT_INTERACTIVE, crypto_pwhash_MEMLIMIT_INTERACTIVE, crypto_pwhash_ALG_ARGON2ID13)
        != 0)
        throw std::runtime_error("password hashing ran out of memory");
    return QString::fromLatin1(hash);
}

bool Credentials::verifyPassword(const QString& hash, const QString& password)
{
    ensureInitialised();
    const QByteArray stored = hash.toLatin1();
    const QByteArray utf8 = password.toUtf8();
    if (stored.isEmpty() || static_cast<size_t>(stored.size()) >= crypto_pwhash_STRBYTES)
        return false;
    const HashTurn turn;
    return crypto_pwhash_str_verify(stored.constData(), utf8.constData(), static_cast<unsigned long long>(utf8.size()))
        == 0;
}

void Credentials::verifyAgainstDummy(const QString& password)
{
    static const QString dummy = hashPassword(randomHex(16));
    verifyPassword(dummy, password);
}

int Credentials::passwordLength(const QString& password)
{
    // Clusters are found in the text as typed, so that a joiner still joins
    // (a family emoji is one character); a cluster of nothing but format
    // characters is not counted.
    const QString text = password.trimmed();
    QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, text);
    int count = 0;
    int start = 0;
    for (int end = graphemes.toNextBoundary(); end > 0; end = graphemes.toNextBoundary()) {
        const QVector<uint> cluster = text.mid(start, end - start).toUcs4();
        if (std::any_of(
                cluster.cbegin(), cluster.cend(), [](uint c) { return QChar::category(c) != QChar::Other_Format; }))
            ++count;
        start = end;
    }
    return count;
}

QString Credentials::randomHex(int bytes)
{
    ensureInitialised();
    std::vector<unsigned char> raw(static_cast<size_t>(bytes));
    randombytes_buf(raw.data(), raw.size());
    std::vector<char> hex(raw.size() * 2 + 1);
    sodium_bin2hex(hex.data(), hex.size(), raw.data(), raw.size());
    return QString::fromLatin1(hex.data());
}

QString Credentials::randomDigits(int count)
{
    ensureInitialised();
    QString digits;
    digits.reserve(count);
    for (int i = 0; i < count; ++i) {
        const quint32 d = i == 0 ? 1 + randombytes_uniform(9) : randombytes_uniform(10);
        digits.append(QChar(u'0' + static_cast<char16_t>(d)));
    }
    return digits;
}

quint32 Credentials::randomBelow(quint32 upperBound)
{
    ensureInitialised();
    return randombytes_uniform(upperBound);
}

QString Credentials::tokenDigest(const QString& token)
{
    ensureInitialised();
    const QByteArray utf8 = token.toUtf8();
    unsigned char digest[crypto_generichash_BYTES];
    crypto_generichash(digest, sizeof digest, reinterpret_cast<const unsigned char*>(utf8.constData()),
        static_cast<unsigned long long>(utf8.size()), nullptr, 0);
    char hex[crypto_generichash_BYTES * 2 + 1];
    sodium_bin2hex(hex, sizeof hex, digest, sizeof digest);
    return QString::fromLatin1(hex);
}

bool Credentials::equalSecrets(const QString& a, const QString& b)
{
    const QByteArray x = a.toUtf8();
    const QByteArray y = b.toUtf8();
    if (x.size() != y.size())
        return false;
    return sodium_memcmp(x.constData(), y.constData(), static_cast<size_t>(x.size())) == 0;
}

} // namespace platform
