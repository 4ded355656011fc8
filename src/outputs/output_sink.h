#pragma once

#include "store/pack_sample.h"

#include <QString>

#include <chrono>
#include <cstdint>
#include <vector>

// Something an output met that its user should hear about: a server or
// broker going away and coming back, lines refused or dropped, a spool that
// is full. One value for every output; each front end words it where it
// shows it (the tool's standard error, the window's status bar).
struct ROutputEvent {
    enum class Output : std::uint8_t { Csv, Mqtt, Metrics, Influx };
    enum class Kind : std::uint8_t {
        Started,       // serving, connected or writing; where: the URL, broker or file
        NotStarted,    // could not start (detail: why); the others go on
        Unreachable,   // the server or broker cannot be reached or answers an error (detail)
        Back,          // reachable again
        Refused,       // the server refused lines; they are dropped
        SpoolFull,     // readings that do not fit the spool are dropped
        SpoolFailed,   // the spool cannot be written
        SpoolCut,      // a spool file ended inside a line; that line is dropped (detail: the file)
        RemoveFailed,  // a sent spool file could not be removed; a later run sends it again (detail)
        QueueFull,     // the output fell behind; readings are dropped
        FileFailed,    // a log file cannot be created or written (where: the file)
        Finished,      // the run's counts, at the end
    };
    struct Counts {
        std::int64_t sent = 0;       // acknowledged by the receiver (or rows written)
        std::int64_t spooled = 0;
        std::int64_t dropped = 0;
        std::int64_t rejected = 0;
        std::int64_t waiting = 0;
    };

    Output output = Output::Csv;
    Kind kind = Kind::Started;
    QString where;        // the server, broker, URL or file it concerns
    QString detail;       // the reason, as the library or server gave it
    QString folder;       // the line protocol's spool folder
    int httpStatus = 0;   // for the line protocol: the server's answer, 0 when none came
    Counts counts;        // the output's counts when it happened
};

// One output of the readings: the per-pack CSV logs, MQTT, the Prometheus
// endpoint, the line-protocol writer. The polling thread (or the listener)
// hands it each pack's turn through PackSampled, which copies and returns;
// the thread that owns the output starts it, pumps it between turns,
// collects its events and finishes it.
class IOutputSink : public IPackSampleSink {
public:
    // False with the reason when the output cannot run at all.
    virtual bool Start(QString& error) = 0;
    // Between passes, on the owner's thread: keeps connections going and
    // tries again what failed. Must not wait.
    virtual void Pump() {}
    // What happened since the last call; any thread.
    virtual std::vector<ROutputEvent> TakeEvents() = 0;
    // Delivers what it can within the time given and stops; PackSampled is
    // no longer called. Its last event is Finished with the counts.
    virtual void Finish(std::chrono::milliseconds within) = 0;
    // After Finish: the reason the run lost readings or never delivered,
    // empty when it did its work.
    virtual QString Failure() const { return {}; }
};
