#pragma once

// TFramePackLocation: what the pack's communication and positioning module
// reports: module flags (CheckBox1..7), cell data, SIM and modem numbers,
// satellite position, speed and heading (Edit1..13), in three group boxes.
// The page only displays: once cleared, the groups stay disabled.
//
//   ApplyLanguage()            captions in the current language
//   ClearLocation()            disables the groups, empties the edit boxes;
//                              the check boxes keep their state
//   ShowLocation(location)     shows a record; a blank record (pack 0)
//                              changes nothing
//
// User-interface thread only.

#include "protocol/records.h"

#include <QFrame>

#include <array>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;

class TFramePackLocation : public QFrame {
    Q_OBJECT
public:
    static constexpr int kCheckBoxes = 7;
    static constexpr int kEdits = 13;

    explicit TFramePackLocation(QWidget* parent = nullptr);

    void ApplyLanguage();
    void ClearLocation();
    void ShowLocation(const RLocationData& location);

private:
    QGroupBox* GroupBox1 = nullptr;
    QGroupBox* GroupBox2 = nullptr;
    QGroupBox* GroupBox3 = nullptr;
    std::array<QCheckBox*, kCheckBoxes> m_checkBoxes{};   // CheckBox1..7
    std::array<QLineEdit*, kEdits> m_edits{};             // Edit1..13
    std::array<QLabel*, 11> m_labels{};                   // the captioned labels
};
