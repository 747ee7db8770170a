#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <optional>

// Whole-file storage for the personal-data stores (lexicon, history, style profile). A store reads
// its file once, keeps it in memory and rewrites it whole after each change. Nothing the user made
// is ever discarded: a file that exists but cannot be used is renamed aside, next to the original,
// before the store starts empty and writes again.
namespace StoreFile {

// The file's bytes, or std::nullopt when there is nothing to load: the file does not exist, or it
// exists but cannot be read (it has then been moved aside with quarantine(), to *keptAs when given).
std::optional<QByteArray> readOrQuarantine(const QString& path, const QDateTime& now = QDateTime::currentDateTime(),
                                           QString* keptAs = nullptr);

// A free name beside path for keeping something aside: "<path>.<reason>-<yyyyMMdd-HHmmss>" (local
// time of now; "-2", "-3", ... are appended when that name is taken).
QString asidePath(const QString& path, const QString& reason, const QDateTime& now = QDateTime::currentDateTime());

// Renames path to asidePath(path, reason, now) and closes what was moved to all but its owner (a
// file becomes 0600, a folder 0700; a link is left as it is): what is kept aside may hold the
// user's secrets, and an older version may have written it readable to others. Returns the new
// path, or an empty string when nothing could be moved.
QString setAside(const QString& path, const QString& reason, const QDateTime& now = QDateTime::currentDateTime());

// setAside(path, "unreadable", now). Stores call it when they cannot decode what they read.
QString quarantine(const QString& path, const QDateTime& now = QDateTime::currentDateTime());

// Makes the folder (with any missing parents) and keeps it to its owner (0700): what the stores
// hold is the user's speech and words. False when the folder is not there afterwards.
bool makePrivateFolder(const QString& path);

// Closes everything under folder to all but its owner: files lose every right of the group's and
// others' (0644 becomes 0600), folders become 0700. Older versions wrote under the umask, and such
// files stay readable to others until rewritten. Links are neither followed nor changed. It
// touches every file there: run it off the main thread.
void makeTreePrivate(const QString& folder);

// Replaces the file with bytes atomically (QSaveFile: a temporary file in the same directory,
// renamed over the original), making the directory private if needed; the file is its owner's
// alone (0600). On failure the old file is left as it was, false is returned and *error (when
// given) says why.
bool writeAtomically(const QString& path, const QByteArray& bytes, QString* error = nullptr);

} // namespace StoreFile
