#pragma once

#include <QString>

#include <cstdint>

// The text service: every caption, header, list entry and message is fetched
// by id in the selected language from the text tables built into the
// program. The selected language is process-wide: every TTextOper answers
// in it. Safe to call from any thread (the tables are read-only).
class TTextOper {
public:
    enum Language : std::uint8_t { SimplifiedChinese = 0, English = 1, TraditionalChinese = 2 };

    // 0, 1 or 2 select a language; any other value changes nothing.
    void SetLanguage(std::uint8_t language);
    static std::uint8_t CurrentLanguage();

    // Texts are trimmed and cut to the buffer the program reserves for them
    // (200 bytes of UTF-8, 10 for units) without splitting a character. An
    // id without a text gives an empty string.
    QString GetLanguageText(std::uint16_t id) const;
    // The default only records the Simplified Chinese wording beside the id.
    QString GetLanguageText(std::uint16_t id, const QString& defaultText) const;
    QString GetAlarmText(std::uint8_t code) const;
    // "<decimal code>--<text>", also when there is no text for the code.
    QString GetErrorText(std::uint8_t code) const;
    QString GetUnitText(std::uint8_t code) const;
};
