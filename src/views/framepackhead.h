#pragma once

// TFramePackHead: the large heading "Pack No. 03" above the overview grids.
//
// Public API for the main window (user-interface thread only):
//   ShowPackHead(n)   n = 0 ("Auto" before the first pack is polled) shows
//                     pack 01; otherwise n in two digits
//   ShowFamily(f)     another maker's pack: "Family: A" beside the number
//                     ("LabelFamily"); ours and unknown: nothing

#include "protocol/pack_family.h"

#include <QFrame>

#include <cstdint>

class QLabel;

// "Pack No. " and the pack number in two digits; 0 reads as 01.
QString PackHeadText(std::uint8_t packNumber);

class TFramePackHead : public QFrame {
    Q_OBJECT
public:
    explicit TFramePackHead(QWidget* parent = nullptr);

    void ShowPackHead(std::uint8_t packNumber);
    void ShowFamily(PackFamily family);
    QLabel* label() const { return m_label; }
    QLabel* familyLabel() const { return m_familyLabel; }

private:
    QLabel* m_label = nullptr;
    QLabel* m_familyLabel = nullptr;
};
