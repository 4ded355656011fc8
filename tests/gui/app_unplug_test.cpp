// The window when the adapter is pulled: bms-sim's pseudo-terminal goes away
// mid-poll (its master closed) and is created again at the same link.

#include "app_window_fixture.h"

#include "services/password_store.h"
#include "support/page_idle.h"
#include "services/text_ids.h"
#include "services/textoper.h"
#include "views/framepackconfig.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>

namespace {

constexpr int kConfigPage = 5;

QString Text(std::uint16_t id)
{
    return TTextOper().GetLanguageText(id);
}

// The text of a message with its argument left out: what comes before "%1".
QString Lead(std::uint16_t id)
{
    return Text(id).section(u'%', 0, 0);
}

class UnplugTest : public MainWindowTest {
protected:
    void OpenAndPoll()
    {
        StartWindow();
        ClickPortButton();
        ASSERT_TRUE(m_form->IsPolling());
        ASSERT_TRUE(WaitFor([this] { return Lamp() == QColor(0, 128, 0); }));
    }

    QString Click(QWidget* page, const char* button)
    {
        m_boxes.clear();
        page->findChild<QPushButton*>(QLatin1String(button))->click();
        EXPECT_TRUE(WaitUntilPageIdle(page));
        return m_boxes.isEmpty() ? QString() : m_boxes.last().text;
    }
};

TEST_F(UnplugTest, TheWindowShowsTheLossAndOpenPortReconnects)
{
    OpenAndPoll();
    // In each language: the message is read whole at the default window
    // size, and the values left on screen are marked with their time.
    for (const char* language : {"RadioButton2", "RadioButton1"}) {
        SCOPED_TRACE(language);
        Find<QRadioButton>(language)->click();
        m_sim->stop();
        ASSERT_TRUE(WaitFor([this] { return !m_form->IsPolling(); }));
        EXPECT_EQ(Lamp(), QColor(255, 0, 0));
        const QString message = m_form->StatusPanelText(4);
        EXPECT_TRUE(message.startsWith(Lead(TextId::kPortWentAway))) << message.toStdString();
        EXPECT_TRUE(message.contains(m_sim->linkPath()));
        auto* panel = Find<QLabel>("StatusBar1Panel4");
        WaitFor([panel] { return false; }, 100);
        EXPECT_LE(panel->fontMetrics().horizontalAdvance(message), panel->contentsRect().width())
            << "cut at " << panel->contentsRect().width() << " pixels";
        EXPECT_TRUE(m_form->StatusPanelText(0).startsWith(Lead(TextId::kValuesAsOf)))
            << m_form->StatusPanelText(0).toStdString();
        EXPECT_EQ(Find<QAbstractButton>("BtnCom")->text(), Text(TextId::kOpenPort));
        EXPECT_TRUE(m_boxes.isEmpty()) << "no box: the status bar says it";

        // The adapter is back: "Open Port" polls again, without a restart.
        ASSERT_TRUE(m_sim->start()) << m_sim->error().toStdString();
        ClickPortButton();
        EXPECT_TRUE(m_form->IsPolling());
        EXPECT_EQ(Find<QAbstractButton>("BtnCom")->text(), Text(TextId::kClosePort));
        EXPECT_FALSE(m_form->StatusPanelText(4).startsWith(Lead(TextId::kPortWentAway)));
        EXPECT_FALSE(m_form->StatusPanelText(0).startsWith(Lead(TextId::kValuesAsOf)));
        EXPECT_TRUE(Find<QLabel>("StatusBar1Panel1")->isVisible());
        EXPECT_TRUE(WaitFor([this] { return Lamp() == QColor(0, 128, 0); }));
    }
}

TEST_F(UnplugTest, APageReopensThePortOrSaysItWentAway)
{
    OpenAndPoll();
    Find<QTabWidget>("PageControl1")->setCurrentIndex(kConfigPage);
    auto* page = m_form->findChild<TFramePackConfig*>(QStringLiteral("FramePackConfig1"));
    ASSERT_NE(page, nullptr);
    m_sim->stop();

    // The first command finds the adapter gone: no answer.
    EXPECT_EQ(Click(page, "BtnReadCapacity"), TTextOper().GetErrorText(0xAF));
    // The next ones try to open the port again and say plainly why not.
    const QString shown = Click(page, "BtnReadCapacity");
    EXPECT_TRUE(shown.startsWith(Lead(TextId::kPortWentAwayOnPage))) << shown.toStdString();
    EXPECT_TRUE(shown.contains(m_sim->linkPath()));

    // Back again: the page reopens the port itself.
    ASSERT_TRUE(m_sim->start()) << m_sim->error().toStdString();
    EXPECT_EQ(Click(page, "BtnReadCapacity"), Text(TextId::kOperationSucceeded));
}

TEST_F(UnplugTest, AParameterWriteCutOffIsNoAnswerNeverSuccess)
{
    OpenAndPoll();
    Find<QLineEdit>("Edit1")->setText(QString::fromLatin1(kDefaultPassword));
    Find<QTabWidget>("PageControl1")->setCurrentIndex(4);
    auto* page = m_form->findChild<QWidget*>(QStringLiteral("FramePackParameter1"));
    ASSERT_NE(page, nullptr);
    Click(page, "BtnReadParameter");
    ASSERT_TRUE(page->findChild<QPushButton*>(QStringLiteral("BtnWriteParameter"))->isEnabled());

    m_sim->stop();
    // No answer, or, when the polling thread (which never waits for the
    // window) noticed the loss first, the port gone: never success.
    const QString shown = Click(page, "BtnWriteParameter");
    EXPECT_TRUE(shown == TTextOper().GetErrorText(0xAF) || shown.startsWith(Lead(TextId::kPortWentAwayOnPage)))
        << shown.toStdString();
    for (const MessageBoxes::Request& box : m_boxes)
        EXPECT_NE(box.text, Text(TextId::kOperationSucceeded));
}

} // namespace
