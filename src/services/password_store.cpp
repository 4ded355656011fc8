#include "services/password_store.h"

#include "services/settings.h"

#include <QFile>
#include <QSaveFile>

namespace {

constexpr QFileDevice::Permissions kOwnerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;

} // namespace

bool ReadPasswordFile(const QString& path, QString* password)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    QString text = QString::fromUtf8(file.read(4 * kReadPasswordLength));
    const qsizetype zero = text.indexOf(QChar(0));
    if (zero >= 0)
        text.truncate(zero);
    *password = text.left(kReadPasswordLength);
    return true;
}

bool SavePasswordFile(const QString& path, const QString& text)
{
    // The whole saved text is kept: a new password of the full 20
    // characters reads back exactly as the user typed it.
    QString saved = text.left(kSavedPasswordLength);
    const qsizetype zero = saved.indexOf(QChar(0));
    if (zero >= 0)
        saved.truncate(zero);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    // The new file must never be readable by others, not even for a moment:
    // restrict the temporary file before the password goes into it.
    file.setPermissions(kOwnerOnly);
    file.write(saved.toUtf8());
    if (!file.commit())
        return false;
    return QFile::setPermissions(path, kOwnerOnly);
}

QString PasswordFilePath()
{
    return Globals().AppPath + QLatin1String(kPasswordFileName);
}

QString ReadPassword()
{
    QString password;
    if (ReadPasswordFile(PasswordFilePath(), &password))
        return password;
    return QString::fromLatin1(kDefaultPassword);
}

bool SavePassword(const QString& text)
{
    return SavePasswordFile(PasswordFilePath(), text);
}
