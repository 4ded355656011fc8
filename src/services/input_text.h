#pragma once

// User input shown in messages, and the check for plain text. Used by the
// command line and the pages alike.

#include <QString>

// Input quoted for a message: in double quotes, at most about 60 characters
// of it (a longer text ends in "..."), with control and other unprintable
// characters, and bytes that were not UTF-8, written as escapes, so that a
// message never carries raw binary or terminal control sequences.
QString QuotedInput(const QString& text);
// The whole text with unprintable characters written as escapes as above;
// line breaks are kept.
QString PrintableText(const QString& text);

// Printable text only: no control or other unprintable characters, and no
// bytes that were not UTF-8.
bool IsPlainText(const QString& text);

// The check for a text that goes to a pack (bar code, product texts): empty
// when the text is plain, otherwise the message that refuses it, in the
// current language, naming the field and quoting the text with its control
// characters written as escapes.
QString RefusedPackText(const QString& fieldName, const QString& text);
