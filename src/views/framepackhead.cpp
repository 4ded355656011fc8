#include "views/framepackhead.h"

#include "services/textoper.h"
#include "views/family_view.h"
#include "views/overview_layout.h"

#include <QHBoxLayout>
#include <QLabel>

QString PackHeadText(std::uint8_t packNumber)
{
    const int shown = packNumber == 0 ? 1 : packNumber;
    return QStringLiteral("Pack No. %1").arg(shown, 2, 10, QLatin1Char('0'));
}

TFramePackHead::TFramePackHead(QWidget* parent)
    : QFrame(parent)
{
    setObjectName(QStringLiteral("FramePackHead"));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_label = new QLabel(this);
    m_label->setObjectName(QStringLiteral("Label1"));
    m_label->setAlignment(Qt::AlignCenter);
    QFont font = m_label->font();
    font.setBold(true);
    font.setPixelSize(24);
    m_label->setFont(font);
    QPalette palette = m_label->palette();
    palette.setColor(QPalette::All, QPalette::WindowText, ColorFromBgr(kBgrBlue));
    m_label->setPalette(palette);
    layout->addWidget(m_label, 1);
    m_familyLabel = new QLabel(this);
    m_familyLabel->setObjectName(QStringLiteral("LabelFamily"));
    m_familyLabel->setPalette(palette);
    m_familyLabel->setVisible(false);
    layout->addWidget(m_familyLabel);
    ShowPackHead(0);
}

void TFramePackHead::ShowPackHead(std::uint8_t packNumber)
{
    m_label->setText(PackHeadText(packNumber));
}

void TFramePackHead::ShowFamily(PackFamily family)
{
    m_familyLabel->setText(FamilyLine(family, TTextOper()));
    m_familyLabel->setVisible(IsForeign(family));
}
