#pragma once

#include <QString>

// The saved login, kept in a small file between runs. The file is a data
// stream (big-endian): a one-byte remember flag, then the user name and the
// password as data-stream strings (a 32-bit byte count, 0xFFFFFFFF for a null
// string, then UTF-16 big-endian).
//
// A name and a password are only ever written when the user asked for them
// to be remembered; otherwise the flag is 0 and both strings are empty.
class AccountFile
{
public:
    // The file name, relative to the process's working directory.
    static QString defaultPath();

    explicit AccountFile(const QString& path = defaultPath());

    // Reads the file. Returns true when the whole record was read. A missing,
    // unreadable or implausibly large file leaves nothing remembered. A file
    // cut short or corrupt keeps the fields read before the damage and reads
    // the rest as empty (so a true flag with nothing after it offers empty
    // texts); an empty file is an unticked flag.
    bool load();

    // Replaces the file's content atomically: either the complete new record
    // is on disk afterwards or the old file is untouched. In a folder where
    // no new file can be made, an existing writable file is rewritten in
    // place instead (without that guarantee). The name and the
    // password are written exactly as given (not trimmed) when `remember` is
    // true, and as empty strings when it is false. Returns false when the
    // file cannot be written.
    bool save(bool remember, const QString& username, const QString& password) const;

    QString path() const { return filePath; }
    bool remember() const { return rememberFlag; }
    QString username() const { return name; }
    QString password() const { return secret; }

private:
    QString filePath;
    bool rememberFlag = false;
    QString name;
    QString secret;
};
