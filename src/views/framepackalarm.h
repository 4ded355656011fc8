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
//                                from a copy of the pack's alarm record; the
//                                control-test boxes show the pack's own switch
//                                states from it. Another maker's pack ticks
//                                none of our boxes (its status bytes mean
//                                something else): the group "GroupBoxFamily"
//                                lists its status bytes that are not 0 by
//                                their own names ("LabelFamilyStatus")
//   SetControlTestVisible(flag)  shows the control-test group while flag is
//                                on (the main window passes PasswordOk)
//   ShowFunctionSwitches(word)   ticks the control-test boxes from the switch
//                                word the pack echoed; sends nothing
//   FunctionSwitchWord()         the word the control-test boxes describe
//
// The control test (framepackalarm_control.cpp): the boxes stay off until an
// alarm record has been shown. A click changes one function and nothing
// else: a job on the window's runner reads the pack's alarm record afresh,
// builds the pack's own word from it with only that function changed and
// sends it to the pack in focus. Switching a FET off is asked first. After
// a refusal or a failure the boxes show the pack's state again.

#include "protocol/records.h"

#include <QFrame>

#include <cstdint>
#include <map>

class QCheckBox;
class QGroupBox;
class QLabel;
class TBusWorker;
class TDevInfo;
class TPageCommand;
struct SwitchBox;

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

    // The store the control test sends through and the window's runner
    // (none: the panel makes its own).
    void SetStore(TDevInfo* store) { m_store = store; }
    void SetRunner(TBusWorker* runner);
    // Whether a control test waits for the pack.
    bool IsBusy() const;

private:
    void BuildGroups();
    QGroupBox* BuildFamilyGroup();
    void ShowFamilyStatus(const RAlarmData& record);
    // The click handler of every control-test box (CheckBox5, 29, 37-42, 44).
    void ControlTestClicked(const SwitchBox& box, bool on);
    // The boxes from the latest alarm record shown (the sleep box, which
    // the record does not report, keeps its tick).
    void ShowPackSwitches();
    // On while a record exists and no control test runs.
    void UpdateControlTestEnabled();

    TDevInfo* m_store = nullptr;
    TPageCommand* m_command = nullptr;
    // The latest alarm record shown, and whether there is one.
    RAlarmData m_packRecord;
    bool m_haveRecord = false;

    std::map<int, QCheckBox*> m_checkBoxes;
    std::map<int, QGroupBox*> m_groupBoxes;
    QLabel* m_shortCircuitLabel = nullptr;
    QGroupBox* m_familyGroup = nullptr;
    QLabel* m_familyStatus = nullptr;
};
