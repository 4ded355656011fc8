#pragma once

// Pages send their commands as jobs on a runner and show the result when
// the job ends: a test that clicks waits for that end before it looks.

#include <QTest>
#include <QWidget>

// True once the page's command has ended and its result was shown.
template <typename Page>
bool WaitUntilIdle(const Page& page, int timeoutMs = 15000)
{
    return QTest::qWaitFor([&page] { return !page.IsBusy(); }, timeoutMs);
}

// The same for a page known only as a widget: its busy note is gone.
inline bool WaitUntilPageIdle(const QWidget* page, int timeoutMs = 15000)
{
    return QTest::qWaitFor(
        [page] {
            const auto* note = page->findChild<const QWidget*>(QStringLiteral("LabelPageBusy"));
            return !note || note->isHidden();
        },
        timeoutMs);
}
