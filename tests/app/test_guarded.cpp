// A slot whose handler throws: the failure is logged under the component's category with the
// exception's text, the slot returns, and the next handler runs as usual.

#include "logging/guarded.h"
#include "support/expected_warning.h"

#include <QPushButton>

#include <gmock/gmock.h>

#include <stdexcept>

namespace {

using testsupport::ExpectedWarning;

TEST(Guarded, LogsWhatAThrowingHandlerThrowsAndGoesOn) {
    QPushButton button;
    int after = 0;
    QObject::connect(&button, &QPushButton::clicked, &button, DADOV::guarded(lcPages(), "button5_Click", [] {
        throw std::runtime_error("no convergence");
    }));
    QObject::connect(&button, &QPushButton::clicked, &button,
                     DADOV::guarded(lcMaintenance(), "button27_Click", [] { throw 42; }));
    QObject::connect(&button, &QPushButton::clicked, &button, [&after] { ++after; });

    const ExpectedWarning pages("q5.pages", QStringLiteral("button5_Click: no convergence"));
    const ExpectedWarning maintenance("q5.maintenance", QStringLiteral("button27_Click: unknown exception"));
    button.click();
    EXPECT_EQ(pages.count(), 1);
    EXPECT_EQ(maintenance.count(), 1);
    EXPECT_EQ(after, 1);

    EXPECT_FALSE(
        DADOV::run_guarded(lcPages(), "button5_Click", [] { throw std::runtime_error("no convergence"); }));
    EXPECT_EQ(pages.count(), 2);
    EXPECT_TRUE(DADOV::run_guarded(lcPages(), "button5_Click", [] {}));
    EXPECT_EQ(pages.count(), 2);
}

} // namespace
