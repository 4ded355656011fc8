#pragma once

// TFramePackAlarm: the alarm and protection panel of the pack in focus.
//
// Every shown status bit of the alarm answer is a check box the user cannot
// change ("CheckBox1" ... "CheckBox78", in group boxes "GroupBox2" ...
// "GroupBox6"); alarms tick in teal, protections and faults in red, states
// plainly. "Label2", right of the short-circuit protection box, counts short
// circuits. The control-test group "GroupBox1" holds nine boxes that switch
// pack functions; it starts hidden.
//
// Public API for the main window (user-interface thread only):
//   ApplyLanguage()              captions of the groups and boxes from the
//                                text service, in the current language
//   ShowAlarmData(record)        ticks, colours and the short-circuit counter
//                                from a copy of the pack's alarm record
//   SetControlTestVisible(flag)  shows the control-test group while flag is
//                                on (the main window passes PasswordOk)
//   ShowFunctionSwitches(word)   ticks the control-test boxes from the switch
//                                word the pack echoed; sends nothing
//   FunctionSwitchWord()         the word the control-test boxes describe
//   signal functionSwitchesRequested(word)
//                                emitted when the user clicks a control-test
//                                box. The panel never talks to the link: the
//                                receiver checks the port, sends
//                                WriteFunctionSwitches through the store to
//                                the pack in focus, and on result 0 calls
//                                ShowFunctionSwitches with the echoed word (on
//                                another result it shows the error text and
//                                leaves the boxes as the user left them).

#include "protocol/records.h"

#include <QFrame>

#include <cstdint>
#include <map>

class QCheckBox;
class QGroupBox;
class QLabel;

class TFramePackAlarm : public QFrame {
    Q_OBJECT
public:
    explicit TFramePackAlarm(QWidget* parent = nullptr);

    void ApplyLanguage();
    void ShowAlarmData(const RAlarmData& record);
    void SetControlTestVisible(bool visible);
    void ShowFunctionSwitches(std::uint16_t word);
    std::uint16_t FunctionSwitchWord() const;

    QCheckBox* checkBox(int number) const;

signals:
    void functionSwitchesRequested(std::uint16_t word);

private:
    void BuildGroups();
    // The click handler of every control-test box (CheckBox5, 29, 37-42, 44).
    void ApplyFunctionSwitches();

    std::map<int, QCheckBox*> m_checkBoxes;
    std::map<int, QGroupBox*> m_groupBoxes;
    QLabel* m_shortCircuitLabel = nullptr;
};
