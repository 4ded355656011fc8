#pragma once

// The window's file dialogs, behind one replaceable function in the manner
// of the message boxes, so that tests can choose a file (or cancel) without
// a modal loop.

#include <QString>

#include <functional>

class QWidget;

namespace FileDialogs {

struct SaveRequest {
    QString caption;
    QString folder;            // start folder
    QString filter;            // e.g. "Excel|*.csv": description, "|", pattern
    QString defaultSuffix;     // added to a name typed without one, e.g. "csv"
};

// Returns the chosen file, or an empty string when the user cancelled.
using SaveHandler = std::function<QString(QWidget* parent, const SaveRequest& request)>;

// Replaces the handler (an empty one restores the modal dialog) and returns
// the previous one.
SaveHandler SetSaveHandler(SaveHandler handler);

QString AskSaveFileName(QWidget* parent, const SaveRequest& request);
// Asks for a file of one kind in the user's home folder: the filter is
// "description|*.suffix" and a name typed without the suffix gets it.
QString AskSaveFileInHome(QWidget* parent, const QString& caption, const QString& description,
                          const QString& suffix);

// The open dialog takes the same request (the suffix is not used) and
// returns the chosen existing file, or an empty string when cancelled.
using OpenRequest = SaveRequest;
using OpenHandler = std::function<QString(QWidget* parent, const OpenRequest& request)>;
OpenHandler SetOpenHandler(OpenHandler handler);
QString AskOpenFileName(QWidget* parent, const OpenRequest& request);

} // namespace FileDialogs
