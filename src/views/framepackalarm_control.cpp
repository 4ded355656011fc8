// The alarm panel's control test: one click switches one function of the
// pack in focus and leaves every other one as the pack has it.

#include "views/framepackalarm.h"

#include "services/settings.h"
#include "services/text_ids.h"
#include "services/textoper.h"
#include "store/devinfo.h"
#include "views/alarm_panel_table.h"
#include "views/message_boxes.h"
#include "views/page_command.h"

#include <QCheckBox>

namespace {

// What one control test found and did.
struct RControlTest {
    std::uint8_t readResult = 0;
    std::uint8_t writeResult = 0xFF;
    RAlarmData record;          // the pack's record read first
    std::uint16_t inForce = 0;  // the word the pack answered with
};

} // namespace

void TFramePackAlarm::SetRunner(TBusWorker* runner)
{
    m_command->SetRunner(runner);
}

bool TFramePackAlarm::IsBusy() const
{
    return m_command && m_command->IsBusy();
}

void TFramePackAlarm::ShowPackSwitches()
{
    // Another family's record carries none of our switch states.
    if (!m_haveRecord || IsForeign(m_packRecord.family))
        return;
    for (const SwitchBox& box : kSwitchBoxes)
        if (const std::optional<bool> on = SwitchStateOfRecord(m_packRecord, box))
            m_checkBoxes.at(box.checkBox)->setChecked(*on);
}

void TFramePackAlarm::UpdateControlTestEnabled()
{
    // Without the pack's own states a click could only guess the rest of
    // the word it sends.
    for (const SwitchBox& box : kSwitchBoxes)
        m_checkBoxes.at(box.checkBox)->setEnabled(m_haveRecord && !IsBusy());
}

void TFramePackAlarm::ControlTestClicked(const SwitchBox& box, bool on)
{
    QCheckBox* clicked = m_checkBoxes.at(box.checkBox);
    // The click has ticked the box already; whatever stops the command
    // puts the boxes back to the pack's state.
    const auto putBack = [this, clicked, on] {
        clicked->setChecked(!on);
        ShowPackSwitches();
    };
    if (IsBusy()) {
        putBack();
        return;
    }
    if (!m_command->CheckPort(m_store)) {
        putBack();
        return;
    }
    const AppGlobals& globals = Globals();
    if (!on && box.cutsOutput
        && MessageBoxes::Ask(this, TTextOper().GetLanguageText(TextId::kConfirmFetOff).arg(clicked->text()))
               != MessageBoxes::Answer::Ok) {
        putBack();
        return;
    }
    // The sleep bit is not in the record: it goes as the box shows it.
    const std::uint16_t otherwise = FunctionSwitchWord();
    const SwitchBox* changed = &box;
    const bool started = m_command->Run<RControlTest>(
        m_store,
        [address = globals.SelectedAddress.load(), pack = globals.SelectedPack.load(), changed, on,
         otherwise](TDevInfo& store) {
            // The pack's state of this moment, not the last one polled: the
            // word must change this one function and nothing else.
            RControlTest test;
            test.readResult = store.ReadAlarmData(address, pack);
            if (test.readResult != 0)
                return test;
            test.record = store.GetAlarmData(pack);
            const std::uint16_t word = WithSwitch(SwitchWordOfRecord(test.record, otherwise), *changed, on);
            test.writeResult = store.WriteFunctionSwitches(address, pack, word, test.inForce);
            return test;
        },
        [this, clicked, on](const RControlTest& test) {
            if (test.readResult == 0) {
                m_packRecord = test.record;
                m_haveRecord = true;
            }
            UpdateControlTestEnabled();
            const std::uint8_t failed = test.readResult != 0 ? test.readResult : test.writeResult;
            if (failed != 0) {
                clicked->setChecked(!on);
                ShowPackSwitches();
                MessageBoxes::Inform(this, m_command->ResultText(failed));
                return;
            }
            ShowFunctionSwitches(test.inForce);
        });
    if (!started) {
        putBack();
        return;
    }
    UpdateControlTestEnabled();
}
