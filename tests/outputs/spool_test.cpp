// The spool on disk: bounded, in order, kept over a restart, and what did
// not fit refused rather than lost silently.

#include "outputs/spool.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

QByteArray Batch(int number)
{
    return QByteArrayLiteral("bms,pack=1 pack_up=1 ") + QByteArray::number(number) + "\n";
}

// One table drives one spool through its life: each step appends, takes or
// reopens, and says what the spool then holds.
TEST(InfluxSpool, KeepsOrderBoundsAndSurvivesAReopen)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString path = folder.filePath(QStringLiteral("spool"));
    const std::int64_t limit = 3 * Batch(10).size();   // three batches fit
    auto spool = std::make_unique<InfluxSpool>(path, limit);
    QString error;
    ASSERT_TRUE(spool->Open(error)) << error.toStdString();

    enum class Op { Append, Take, Reopen };
    struct Step {
        Op op;
        int value;                  // the batch appended, or how many to pop
        InfluxSpool::Stored stored; // for Append
        const char* oldest;         // the batches Oldest gives afterwards, by number
    };
    using S = InfluxSpool::Stored;
    const Step steps[] = {
        {Op::Append, 10, S::Yes, "10"},
        {Op::Append, 11, S::Yes, "10 11"},
        {Op::Append, 12, S::Yes, "10 11 12"},
        {Op::Append, 13, S::Full, "10 11 12"},      // over the limit: refused
        {Op::Reopen, 0, S::Yes, "10 11 12"},        // a new run finds them, in order
        {Op::Take, 2, S::Yes, "12"},
        {Op::Append, 14, S::Yes, "12 14"},          // numbered after those of the last run
        {Op::Reopen, 0, S::Yes, "12 14"},
        {Op::Take, 2, S::Yes, ""},
        {Op::Reopen, 0, S::Yes, ""},
    };
    for (const Step& step : steps) {
        switch (step.op) {
        case Op::Append: EXPECT_EQ(spool->Append(Batch(step.value), 1), step.stored) << step.value; break;
        case Op::Take: spool->Pop(step.value); break;
        case Op::Reopen:
            spool.reset();
            spool = std::make_unique<InfluxSpool>(path, limit);
            ASSERT_TRUE(spool->Open(error)) << error.toStdString();
            break;
        }
        QByteArray expected;
        for (const QByteArray& number : QByteArray(step.oldest).split(' '))
            if (!number.isEmpty())
                expected += Batch(number.toInt());
        EXPECT_EQ(spool->Oldest(limit).lines, expected) << step.oldest;
        EXPECT_EQ(spool->Bytes(), expected.size());
        EXPECT_EQ(spool->Lines(), expected.count('\n'));
    }
    EXPECT_EQ(QDir(path).entryList({QStringLiteral("*.lp")}, QDir::Files).size(), 0);
}

// A request carries the oldest batches up to its size, at least one; a
// second program cannot open a spool in use.
TEST(InfluxSpool, ChunksAreBoundedAndTheFolderIsLocked)
{
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("spool"));
    InfluxSpool spool(path, 1 << 20);
    QString error;
    ASSERT_TRUE(spool.Open(error));
    for (int i = 0; i < 5; ++i)
        ASSERT_EQ(spool.Append(Batch(100 + i), 1), InfluxSpool::Stored::Yes);
    const InfluxSpool::Chunk two = spool.Oldest(2 * Batch(100).size() + 1);
    EXPECT_EQ(two.batches, 2);
    EXPECT_EQ(two.lines, Batch(100) + Batch(101));
    EXPECT_EQ(spool.Oldest(1).batches, 1);

    InfluxSpool second(path, 1 << 20);
    EXPECT_FALSE(second.Open(error));
    EXPECT_TRUE(error.contains(QStringLiteral("in use"))) << error.toStdString();

    // A spool in a folder that cannot be made says so.
    QFile blocker(folder.filePath(QStringLiteral("file")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    InfluxSpool blocked(folder.filePath(QStringLiteral("file/spool")), 1 << 20);
    EXPECT_FALSE(blocked.Open(error));
    EXPECT_TRUE(error.contains(QStringLiteral("cannot create"))) << error.toStdString();
}

} // namespace
