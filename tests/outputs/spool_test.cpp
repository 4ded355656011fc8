// The spool on disk: bounded, in order, kept over a restart, one program at
// a time, read as whole lines.

#include "outputs/spool.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

QByteArray Batch(int number)
{
    return "bms,pack=1 pack_up=1 " + QByteArray::number(number) + "\n";
}

// One spool through its life: each step appends, pops or reopens, then
// says what the spool holds, oldest first.
TEST(InfluxSpool, KeepsOrderBoundsAndSurvivesAReopen)
{
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("spool"));
    const std::int64_t limit = 3 * Batch(10).size();   // three batches fit
    auto spool = std::make_unique<InfluxSpool>(path, limit);
    QString error;
    ASSERT_TRUE(spool->Open(error)) << error.toStdString();
    InfluxSpool second(path, limit);
    EXPECT_FALSE(second.Open(error));
    EXPECT_TRUE(error.contains(QStringLiteral("in use"))) << error.toStdString();

    enum class Op { Append, Pop, Reopen };
    using S = InfluxSpool::Stored;
    const struct {
        Op op;
        int value;   // the batch appended, or how many to pop
        S stored;
        const char* held;
    } steps[] = {
        {Op::Append, 10, S::Yes, "10"},         {Op::Append, 11, S::Yes, "10 11"},
        {Op::Append, 12, S::Yes, "10 11 12"},   {Op::Append, 13, S::Full, "10 11 12"},
        {Op::Reopen, 0, S::Yes, "10 11 12"},    {Op::Pop, 2, S::Yes, "12"},
        {Op::Append, 14, S::Yes, "12 14"},      {Op::Reopen, 0, S::Yes, "12 14"},
        {Op::Pop, 2, S::Yes, ""},               {Op::Reopen, 0, S::Yes, ""},
    };
    for (const auto& step : steps) {
        if (step.op == Op::Append) {
            EXPECT_EQ(spool->Append(Batch(step.value), 1), step.stored) << step.value;
        }
        if (step.op == Op::Pop) {
            for (int k = 0; k < step.value; ++k)
                EXPECT_TRUE(spool->Pop());
        }
        if (step.op == Op::Reopen) {
            spool.reset();   // the old run ends, unlocking the folder
            spool = std::make_unique<InfluxSpool>(path, limit);
            ASSERT_TRUE(spool->Open(error)) << error.toStdString();
        }
        const QList<QByteArray> held = QByteArray(step.held).split(' ');
        const qsizetype batches = step.held[0] ? held.size() : 0;
        EXPECT_EQ(spool->Batches(), batches) << step.held;
        EXPECT_EQ(spool->Bytes(), batches * Batch(10).size());
        EXPECT_EQ(spool->Lines(), batches);
        // Each batch is read on its own, the oldest first.
        const std::optional<InfluxSpool::Batch> oldest = spool->Oldest();
        ASSERT_EQ(oldest.has_value(), batches > 0);
        if (oldest) {
            EXPECT_EQ(oldest->lines, Batch(held.front().toInt()));
        }
    }
}

// A file cut inside its last line (by hand, or by a disk that filled) and
// one with blank lines: only whole lines are read, the cut one is counted
// once, and never joins the next file's first line.
TEST(InfluxSpool, ReadsWholeLinesAndCountsACutOne)
{
    QTemporaryDir folder;
    const auto put = [&folder](const char* name, const QByteArray& text) {
        QFile file(QDir(folder.path()).filePath(QLatin1String(name)));
        return file.open(QIODevice::WriteOnly) && file.write(text) == text.size();
    };
    ASSERT_TRUE(put("0000000000000001.lp", "bms a=1 1\n\nbms b=2 2\nbms c=3"));
    ASSERT_TRUE(put("0000000000000002.lp", "0000\nbms d=4 4\n"));
    InfluxSpool spool(folder.path(), 1 << 20);
    QString error;
    ASSERT_TRUE(spool.Open(error)) << error.toStdString();
    EXPECT_EQ(spool.Lines(), 4);

    const struct {
        const char* lines;
        std::int64_t count;
        std::int64_t cut;
    } expected[] = {{"bms a=1 1\nbms b=2 2\n", 2, 1}, {"0000\nbms d=4 4\n", 2, 0}};
    for (const auto& batch : expected) {
        const std::optional<InfluxSpool::Batch> oldest = spool.Oldest();
        ASSERT_TRUE(oldest);
        EXPECT_EQ(oldest->lines, QByteArray(batch.lines));
        EXPECT_EQ(oldest->lineCount, batch.count);
        EXPECT_EQ(oldest->cutLines, batch.cut);
        EXPECT_TRUE(spool.Pop());
    }
    EXPECT_FALSE(spool.Oldest());
    EXPECT_EQ(spool.Lines(), 0);
    EXPECT_TRUE(QDir(folder.path()).entryList({QStringLiteral("*.lp")}).isEmpty());
}

} // namespace
