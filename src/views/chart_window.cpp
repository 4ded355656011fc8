#include "views/chart_window.h"

#include "services/text_ids.h"
#include "services/textoper.h"
#include "store/devinfo.h"
#include "views/reading_chart.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QTimer>
#include <QVBoxLayout>

TChartWindow::TChartWindow(TDevInfo& store, std::uint8_t packNumber, QWidget* parent)
    : QWidget(parent, Qt::Window)
    , m_store(store)
{
    setObjectName(QStringLiteral("ChartWindow"));
    resize(1100, 700);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    m_chart = new TReadingChart(this);
    column->addWidget(m_chart);

    LabelChartPack = new QLabel(this);
    LabelChartPack->setObjectName(QStringLiteral("LabelChartPack"));
    ComboChartPack = new QComboBox(this);
    ComboChartPack->setObjectName(QStringLiteral("ComboChartPack"));
    for (int pack = 1; pack <= kMaxPacks; ++pack)
        ComboChartPack->addItem(Decimal::fromInt(pack).format(u"00"), pack);
    m_chart->ToolRow()->insertWidget(0, LabelChartPack);
    m_chart->ToolRow()->insertWidget(1, ComboChartPack);
    m_chart->ToolRow()->insertSpacing(2, 12);
    connect(ComboChartPack, &QComboBox::activated, this,
            [this](int index) { FollowPack(std::uint8_t(ComboChartPack->itemData(index).toInt())); });

    m_timer = new QTimer(this);
    connect(m_timer, &QTimer::timeout, this, &TChartWindow::Refresh);
    m_timer->start(kRefreshMs);
    ApplyLanguage();
    FollowPack(packNumber >= 1 && packNumber <= kMaxPacks ? packNumber : 1);
}

void TChartWindow::ApplyLanguage()
{
    const TTextOper texts;
    setWindowTitle(texts.GetLanguageText(TextId::kChart) + QStringLiteral(" - ")
                   + ComboChartPack->currentText());
    LabelChartPack->setText(texts.GetLanguageText(TextId::kChartPack));
    m_chart->ApplyLanguage();
}

void TChartWindow::FollowPack(std::uint8_t packNumber)
{
    if (packNumber < 1 || packNumber > kMaxPacks || packNumber == m_packNumber)
        return;
    m_packNumber = packNumber;
    ComboChartPack->setCurrentIndex(packNumber - 1);
    m_firstShown = 0;
    m_next = 0;
    m_chart->ClearPoints();
    m_chart->ShowCells({});
    ApplyLanguage();
    Refresh();
}

void TChartWindow::Refresh()
{
    if (!isVisible())
        return;
    TReadingHistory::Slice slice = m_store.Readings().ReadingsSince(m_packNumber, m_next);
    // Readings the history dropped leave the chart too.
    if (slice.firstHeld > m_firstShown) {
        m_chart->DropOldest(std::size_t(slice.firstHeld - m_firstShown));
        m_firstShown = slice.firstHeld;
    }
    m_next = slice.next;
    if (slice.points.empty())
        return;
    m_chart->AppendPoints(slice.points);
    m_chart->ShowCells(m_store.GetAnalogData(m_packNumber).cellVoltages);
}

void TChartWindow::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    Refresh();
}
