// libFuzzer target: bmstool's command line. Every argument list is either
// refused with a message or turned into a prepared command; nothing here
// opens a port. The input is the argument list, words separated by zero
// bytes.
//
// Preparing a command may read or create the files it names, so the target
// works in a folder of its own and passes over arguments that could name a
// file elsewhere (absolute paths, "..", "~").

#include "commands.h"

#include <QDir>
#include <QTemporaryDir>

#include <cstdlib>

namespace {

void Require(bool condition)
{
    if (!condition)
        std::abort();
}

bool StaysInTheWorkFolder(const QString& word)
{
    return !word.contains(QLatin1Char('/')) && !word.contains(QLatin1Char('\\')) && !word.contains(QLatin1Char('~'))
        && !word.contains(QLatin1String(".."));
}

void EnterWorkFolder()
{
    static QTemporaryDir folder;
    static const bool entered = folder.isValid() && QDir::setCurrent(folder.path());
    Require(entered);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    EnterWorkFolder();
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    QStringList arguments;
    for (const QByteArray& word : bytes.split('\0'))
        arguments << QString::fromUtf8(word);

    CommandLine line;
    QString error;
    if (!ParseCommandLine(arguments, line, error)) {
        Require(!error.isEmpty());
        return 0;
    }
    Require(line.globals.address >= 1 && line.globals.address <= 16);
    if (line.globals.baudRate)
        Require(*line.globals.baudRate > 0);
    const CommandSpec* command = FindCommand(line.command);
    if (!command)
        return 0;
    CommandArgs args;
    if (!SplitCommandArgs(line.words, command->options, args, error)) {
        Require(!error.isEmpty());
        return 0;
    }
    for (const QString& word : line.words)
        if (!StaysInTheWorkFolder(word))
            return 0;
    const Prepared prepared = command->prepare(args);
    if (!prepared.action)
        Require(!prepared.error.isEmpty());
    return 0;
}
