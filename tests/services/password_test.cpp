#include "services/password_store.h"
#include "services/settings.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

class PasswordTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_folder.isValid());
        LoadSettings(m_folder.path());
    }
    void TearDown() override { FreeGlobals(); }

    QTemporaryDir m_folder;
};

TEST_F(PasswordTest, DefaultPasswordIsInForceUntilOneIsSaved)
{
    EXPECT_EQ(ReadPassword(), QStringLiteral("QN739204"));
    QString password;
    EXPECT_FALSE(ReadPasswordFile(PasswordFilePath(), &password));
}

TEST_F(PasswordTest, SavedPasswordIsReadBackAndSurvivesARestart)
{
    ASSERT_TRUE(SavePassword(QStringLiteral("secret77")));
    EXPECT_EQ(ReadPassword(), QStringLiteral("secret77"));
    FreeGlobals();
    LoadSettings(m_folder.path());
    EXPECT_EQ(Globals().StoredPassword, QStringLiteral("secret77"));
}

TEST_F(PasswordTest, PasswordFileIsOnlyForItsOwner)
{
    ASSERT_TRUE(SavePassword(QStringLiteral("first1")));
    // Loosen it, as a copy or an archive tool might: the next save tightens it again.
    QFile::setPermissions(PasswordFilePath(), QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther);
    ASSERT_TRUE(SavePassword(QStringLiteral("second2")));
    EXPECT_EQ(QFile::permissions(PasswordFilePath()) & ~(QFile::ReadUser | QFile::WriteUser),
        QFile::ReadOwner | QFile::WriteOwner);
    EXPECT_TRUE(PasswordFilePath().startsWith(Globals().AppPath));
}

TEST_F(PasswordTest, TwentyCharactersAreKeptWholeAndMoreAreCut)
{
    const QString twenty = QStringLiteral("abcdefghij0123456789");
    ASSERT_TRUE(SavePassword(twenty));
    EXPECT_EQ(ReadPassword(), twenty);
    ASSERT_TRUE(SavePassword(twenty + QStringLiteral("XYZ")));
    EXPECT_EQ(ReadPassword(), twenty);
    // Characters beyond ASCII count as characters, not bytes.
    const QString chinese = QStringLiteral("电池管理密码六位");
    ASSERT_TRUE(SavePassword(chinese));
    EXPECT_EQ(ReadPassword(), chinese);
}

TEST_F(PasswordTest, ReadingStopsAtAZeroAndAfterTwentyOneCharacters)
{
    QFile file(PasswordFilePath());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray("abcdefghij0123456789KLMNOP"));
    file.close();
    EXPECT_EQ(ReadPassword(), QStringLiteral("abcdefghij0123456789K"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(QByteArray("pass\0word", 9));
    file.close();
    EXPECT_EQ(ReadPassword(), QStringLiteral("pass"));
}

TEST_F(PasswordTest, StoredPasswordIsTrimmedAtStart)
{
    ASSERT_TRUE(SavePassword(QStringLiteral("  spaced99 ")));
    EXPECT_EQ(ReadPassword(), QStringLiteral("  spaced99 "));
    LoadSettings(m_folder.path());
    EXPECT_EQ(Globals().StoredPassword, QStringLiteral("spaced99"));
}

} // namespace
