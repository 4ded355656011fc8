#pragma once

#include <QFile>
#include <QString>
#include <QStringList>

// A log file written line by line: the header when it is created, then one
// line per reading, each flushed to the file at once so that a crash or a
// pulled plug loses at most the line being written. Text in the system's
// code page, as every CSV file of the program.
class CsvFile {
public:
    // Creates or replaces the file and writes the header line. A file that
    // cannot take its header (a full disk) is not left behind.
    bool create(const QString& path, const QStringList& header, QString* error);
    // Creates name in folder, or name_2, name_3, ... when that exists: a
    // file that is already there is never replaced.
    bool createNew(const QString& folder, const QString& name, const QStringList& header, QString* error);
    bool append(const QStringList& cells);
    bool isOpen() const { return m_file.isOpen(); }
    void close() { m_file.close(); }
    // Closes and deletes the file.
    void remove() { m_file.remove(); }
    QString path() const { return m_file.fileName(); }

private:
    bool open(const QString& path, QIODevice::OpenMode mode, const QStringList& header, QString* error);

    QFile m_file;
};
