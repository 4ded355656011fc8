// The writer against a stub server in the same process: what each kind of
// answer does with the lines, and the order kept across failures.

#include "outputs/influx_lines.h"
#include "outputs/influx_writer.h"

#include "support/http_stub.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

RPackSample Sample(int number)
{
    RPackSample sample;
    sample.pack = std::uint8_t(1 + number % 16);
    sample.time = QDateTime::currentDateTimeUtc().addMSecs(number);
    sample.exchanges = {{0x42, 0}};
    return sample;
}

InfluxSettings Settings(const HttpStub& server, const QTemporaryDir& folder)
{
    InfluxSettings settings;
    settings.url = QUrl(server.url());
    settings.spoolFolder = folder.filePath(QStringLiteral("spool"));
    settings.timeout = std::chrono::seconds(1);
    return settings;
}

TEST(InfluxWriter, EachAnswerKeepsSpoolsOrDropsTheLines)
{
    using Kind = InfluxWriter::Event::Kind;
    struct Case {
        int status;
        bool sent;       // else still spooled at the end, or rejected
        bool rejected;
        std::optional<Kind> event;
    };
    const Case cases[] = {
        {204, true, false, std::nullopt},
        {400, false, true, Kind::Rejected},
        {404, false, true, Kind::Rejected},
        {429, false, false, Kind::Unreachable},
        {503, false, false, Kind::Unreachable},
        {0, false, false, Kind::Unreachable},   // no answer within the time-out
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.status);
        HttpStub server([status = c.status](int) { return status; });
        QTemporaryDir folder;
        InfluxWriter writer(Settings(server, folder));
        QString error;
        ASSERT_TRUE(writer.Start(error)) << error.toStdString();
        writer.PackSampled(Sample(1));
        writer.PackSampled(Sample(2));
        writer.Finish(std::chrono::milliseconds(2500));
        const InfluxWriter::Counts counts = writer.counts();
        EXPECT_EQ(counts.sent, c.sent ? 2 : 0);
        EXPECT_EQ(counts.rejected, c.rejected ? 2 : 0);
        EXPECT_EQ(counts.spooled, !c.sent && !c.rejected ? 2 : 0);
        EXPECT_EQ(counts.dropped, 0);
        EXPECT_EQ(counts.waiting, 0);
        const std::vector<InfluxWriter::Event> events = writer.TakeEvents();
        ASSERT_EQ(events.size(), c.event ? 1u : 0u);
        if (c.event) {
            EXPECT_EQ(events[0].kind, *c.event);
            EXPECT_EQ(events[0].httpStatus, c.status);
        }
        // Refused lines are asked once; lines the server may take later are
        // asked again, at most once a second.
        const std::size_t requests = server.requests().size();
        if (c.rejected) {
            EXPECT_EQ(requests, 1u);
        }
        EXPECT_LE(requests, 4u);
    }
}

// The server fails, then never answers, then takes everything: what it
// took is every line, once, in the order the turns came, and the writer
// said when it failed and when it was back.
TEST(InfluxWriter, LinesArriveInOrderAfterFailures)
{
    HttpStub server([](int request) { return request < 2 ? 503 : request == 2 ? 0 : 204; });
    QTemporaryDir folder;
    InfluxWriter writer(Settings(server, folder));
    QString error;
    ASSERT_TRUE(writer.Start(error)) << error.toStdString();
    QByteArray expected;
    for (int i = 0; i < 40; ++i) {
        const RPackSample sample = Sample(i);
        expected += InfluxLines(sample);
        writer.PackSampled(sample);
        QThread::msleep(150);
    }
    const QDeadlineTimer deadline(30000);
    while (writer.counts().sent < 40 && !deadline.hasExpired())
        QThread::msleep(50);
    writer.Finish(std::chrono::milliseconds(5000));
    QByteArray taken;
    for (const auto& [body, status] : server.requests())
        if (status == 204)
            taken += body;
    EXPECT_EQ(taken, expected);
    EXPECT_EQ(writer.counts().sent, 40);
    EXPECT_EQ(writer.counts().spooled, 0);
    std::vector<InfluxWriter::Event::Kind> kinds;
    for (const InfluxWriter::Event& event : writer.TakeEvents())
        kinds.push_back(event.kind);
    EXPECT_EQ(kinds, (std::vector{InfluxWriter::Event::Kind::Unreachable, InfluxWriter::Event::Kind::Back}));
}

} // namespace
