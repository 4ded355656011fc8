#pragma once

// The window's modal message boxes, behind one replaceable function so that
// tests can answer them without a modal loop and read what was shown.
//
// Every box carries the information icon, except warnings, which carry the
// exclamation icon. A question offers OK and Cancel with Cancel as the
// default button; only OK lets the caller go on.

#include <QString>

#include <functional>

class QWidget;

namespace MessageBoxes {

enum class Answer { Ok, Cancel };
enum class Buttons { Ok, OkCancel };
enum class Icon { Information, Warning };

struct Request {
    QString caption;
    QString text;
    Buttons buttons = Buttons::Ok;
    Icon icon = Icon::Information;
};

using Handler = std::function<Answer(QWidget* parent, const Request& request)>;

// Replaces the handler (an empty one restores the modal boxes) and returns
// the previous one.
Handler SetHandler(Handler handler);

// Whether a box is open now (a question waits for its answer): what
// finishes meanwhile shows its own box only after it.
bool AnyOpen();

// An OK box with the caption text of the text service.
void Inform(QWidget* parent, const QString& text);
// An OK box with a caption of the caller's choosing.
void Inform(QWidget* parent, const QString& caption, const QString& text);
// An OK box with the exclamation icon and the caption text of the text service.
void Warn(QWidget* parent, const QString& text);
// An OK/Cancel question with the caption text of the text service.
Answer Ask(QWidget* parent, const QString& text);

} // namespace MessageBoxes
