// The list view with more rows than any file of years holds.
#include <gtest/gtest.h>

#include <QScrollBar>
#include <QTest>

#include "shell/qt_controls.h"

namespace tolvane {
namespace {

// Row i reads "row i"; counts what it was asked.
struct ManyRows : RowSource {
    size_t count;
    mutable size_t asked = 0;
    explicit ManyRows(size_t n) : count(n) {}
    size_t row_count() const override { return count; }
    std::string row(size_t i) override {
        ++asked;
        return "row " + std::to_string(i);
    }
};

TEST(RowListView, ShowsAnyRowOfAThousandMillionAtOnceAskingOnlyForRowsInView) {
    RowListModel model;
    auto source = std::make_unique<ManyRows>(1'000'000'000);
    ManyRows& rows = *source;
    model.show(std::move(source));
    model.append({"added"});
    RowListView view;
    view.setModel(&model);
    view.resize(148, 64);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));

    view.scrollToBottom();
    QTest::qWait(20);
    const QModelIndex last = model.index(1'000'000'000, 0);
    EXPECT_TRUE(view.viewport()->rect().contains(view.visualRect(last)));
    EXPECT_EQ(view.indexAt(view.visualRect(last).center()), last);
    EXPECT_EQ(last.data().toString(), "added");

    view.scrollTo(model.index(500'000'000, 0), QAbstractItemView::PositionAtTop);
    EXPECT_EQ(view.indexAt(QPoint(2, 2)).data().toString(), "row 500000000");
    view.setCurrentIndex(model.index(500'000'000, 0));
    QTest::keyClick(&view, Qt::Key_Down);
    EXPECT_EQ(view.currentIndex().row(), 500'000'001);
    QTest::qWait(20);
    EXPECT_LT(rows.asked, 1000u);
}

}  // namespace
}  // namespace tolvane
