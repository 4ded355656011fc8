#pragma once

#include <QString>

// The password that unlocks the write, calibrate, reset and delete
// controls. It is kept in the file "BMS.pwd" in AppPath (see settings.h),
// readable and writable only by its owner. Until one is saved the default
// password is in force.
inline constexpr const char* kDefaultPassword = "QN739204";
inline constexpr const char* kPasswordFileName = "BMS.pwd";

// The password buffers the program reserves: the saved text fills at most
// 20 characters, a read one at most 21.
inline constexpr int kSavedPasswordLength = 20;
inline constexpr int kReadPasswordLength = 21;

// The stored password, or the default when none was saved (or the file
// cannot be read). Not trimmed: LoadSettings and the caller of
// SavePassword trim it.
QString ReadPassword();
// Stores a new password (its first 20 characters). Returns false when the
// file could not be written; the program does not act on it.
bool SavePassword(const QString& text);
QString PasswordFilePath();

// The same on a given file, for the functions above and for tests.
// ReadPasswordFile gives true and the password once one was saved.
bool ReadPasswordFile(const QString& path, QString* password);
bool SavePasswordFile(const QString& path, const QString& text);
