// The spool on disk: bounded, in order, kept over a restart, one program at
// a time. (A file cut inside a line is tested end to end, with the tool.)

#include "outputs/spool.h"

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

} // namespace
