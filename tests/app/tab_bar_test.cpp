// The column bar of phone-list windows: titles and borders, dragging, cancelling, the cursor,
// and what its view hears.
#include "app/command_ids.h"
#include "app/command_target.h"
#include "app/mdi_frame_bar.h"
#include "app/tab_bar.h"
#include "qt_test_support.h"

#include <QSignalSpy>
#include <QWidget>
#include <gtest/gtest.h>

namespace tolvan::app::test {

// A list view stand-in that records the column layouts it is told about.
class ColumnsRecorder : public QWidget {
    Q_OBJECT
public:
    QList<std::pair<int, QList<int>>> received;
public Q_SLOTS:
    void onTabBarColumns(int count, const QList<int>& edges) { received.append({count, edges}); }
};

namespace {

class TabBarTest : public ::testing::Test {
protected:
    void SetUp() override {
        view = new ColumnsRecorder;
        frame = std::make_unique<CMDIFrameBar>(view);
        frame->resize(900, 300);
        frame->show();
        bar = frame->TabBar();
    }
    // Drags the border at from to x with the left button, without releasing.
    void DragTo(int from, int x) {
        const int y = bar->height() / 2;
        Press(bar, {from, y});
        Move(bar, {x, y}, Qt::LeftButton);
    }
    void ReleaseAt(int x) { Release(bar, {x, bar->height() / 2}); }

    const QList<int> kStart{100, 200, 300, 400, 500, 600};
    ColumnsRecorder* view = nullptr;
    std::unique_ptr<CMDIFrameBar> frame;
    CTabBar* bar = nullptr;
};

TEST_F(TabBarTest, NewPhoneListWindowHasSevenTitlesAndBordersAt100To600) {
    ASSERT_EQ(bar->ColumnCount(), 6);
    EXPECT_EQ(bar->ColumnEdges(), kStart);
    const QStringList titles{"Comment",     "Dial String", "Baud Rate", "Parity",
                             "Word Length", "Stop Bits",   "Duplex"};
    for (int i = 0; i <= 6; ++i) EXPECT_EQ(bar->ColumnTitle(i), titles[i]) << i;
    // The view learns the layout when it is attached, before any drag.
    ASSERT_EQ(view->received.size(), 1);
    EXPECT_EQ(view->received[0].first, 6);
    EXPECT_EQ(view->received[0].second, kStart);
    EXPECT_EQ(bar->View(), view);
    EXPECT_GT(bar->height(), 0);
    EXPECT_EQ(bar->geometry().top(), 0) << "the bar sits above the view";
    EXPECT_GE(view->geometry().top(), bar->geometry().bottom());
}

TEST_F(TabBarTest, DraggingDialStringRightMovesLaterBordersAndTellsViewOnRelease) {
    DragTo(200, 250);
    EXPECT_TRUE(bar->IsDragging());
    EXPECT_EQ(bar->DragColumn(), 1);
    EXPECT_EQ(bar->ColumnEdges(), (QList<int>{100, 250, 350, 450, 550, 650}));
    EXPECT_EQ(view->received.size(), 1) << "nothing is sent while the button is held";
    ReleaseAt(250);
    EXPECT_FALSE(bar->IsDragging());
    EXPECT_EQ(bar->DragColumn(), -1);
    ASSERT_EQ(view->received.size(), 2);
    EXPECT_EQ(view->received[1].first, 6);
    EXPECT_EQ(view->received[1].second, (QList<int>{100, 250, 350, 450, 550, 650}));
}

TEST_F(TabBarTest, DraggingPastTheLeftNeighbourStopsTwoPixelsRightOfIt) {
    DragTo(300, 40);  // "Baud Rate" past "Dial String" (border 200)
    EXPECT_EQ(bar->ColumnEdges(), (QList<int>{100, 200, 202, 302, 402, 502}));
    // One pixel right of the neighbour would leave a 1-pixel column: still held at 2.
    Move(bar, {201, 5}, Qt::LeftButton);
    EXPECT_EQ(bar->GetColumnEdge(2), 202);
    Move(bar, {203, 5}, Qt::LeftButton);
    EXPECT_EQ(bar->GetColumnEdge(2), 203);
    ReleaseAt(203);
    // Every edge stays right of the one before it.
    const QList<int> edges = bar->ColumnEdges();
    for (int i = 1; i < edges.size(); ++i) EXPECT_GT(edges[i], edges[i - 1]);
}

TEST_F(TabBarTest, FirstColumnNeverGoesBelowTwoPixels) {
    DragTo(100, -30);
    EXPECT_EQ(bar->GetColumnEdge(0), 2);
    EXPECT_EQ(bar->GetColumnEdge(1), 102);
    ReleaseAt(-30);
}

TEST_F(TabBarTest, RightButtonRestoresAllBordersAndViewHearsNothing) {
    QSignalSpy spy(bar, &CTabBar::columnsChanged);
    DragTo(200, 330);
    ASSERT_EQ(bar->GetColumnEdge(5), 730);
    Press(bar, {330, 5}, Qt::RightButton, Qt::LeftButton);
    EXPECT_FALSE(bar->IsDragging());
    EXPECT_EQ(bar->ColumnEdges(), kStart);
    // The left button comes up afterwards: the drag is over, so still nothing is sent.
    ReleaseAt(330);
    Move(bar, {360, 5}, Qt::LeftButton);
    EXPECT_EQ(bar->ColumnEdges(), kStart);
    EXPECT_EQ(spy.count(), 0);
    EXPECT_EQ(view->received.size(), 1);
}

TEST_F(TabBarTest, SplitterCursorOnlyWithinOnePixelOfABorder) {
    const int y = bar->height() / 2;
    const std::pair<int, bool> cases[] = {{97, false}, {98, false},  {99, true},   {100, true},
                                          {101, true}, {102, false}, {150, false}, {599, true},
                                          {601, true}, {602, false}, {700, false}, {850, false}};
    for (auto [x, split] : cases) {
        Move(bar, {x, y});
        EXPECT_EQ(bar->cursor().shape() == Qt::SplitHCursor, split) << "x=" << x;
        EXPECT_EQ(bar->HitTestBorder(x) >= 0, split) << "x=" << x;
    }
}

TEST_F(TabBarTest, PressOffABorderStartsNoDrag) {
    Press(bar, {150, 5});
    Move(bar, {180, 5}, Qt::LeftButton);
    ReleaseAt(180);
    EXPECT_FALSE(bar->IsDragging());
    EXPECT_EQ(bar->ColumnEdges(), kStart);
    EXPECT_EQ(view->received.size(), 1);
}

TEST_F(TabBarTest, CloseBordersHitTheLowestColumn) {
    bar->SetColumns(std::vector<int>{10, 12, 40});
    EXPECT_EQ(bar->HitTestBorder(11), 0);
    EXPECT_EQ(bar->HitTestBorder(13), 1);
    EXPECT_EQ(bar->HitTestBorder(41), 2);
    EXPECT_EQ(bar->HitTestBorder(42), -1);
    // Out-of-range cells are ignored, not written.
    bar->SetColumnEdge(3, 99);
    bar->SetColumnEdge(-1, 99);
    EXPECT_EQ(bar->GetColumnEdge(3), 0);
    EXPECT_EQ(bar->ColumnEdges(), (QList<int>{10, 12, 40}));
    bar->SetColumnTitle(3, QStringLiteral("filler"));
    EXPECT_EQ(bar->ColumnTitle(3), QStringLiteral("filler"));
    EXPECT_TRUE(bar->ColumnTitle(4).isEmpty());
}

TEST_F(TabBarTest, PaintsBlackBordersAtTheEdgesAndTitles) {
    const QImage image = bar->grab().toImage();
    image.save(GrabPath("tab-bar"));
    const int y = bar->height() / 2;
    for (int edge : kStart) EXPECT_EQ(image.pixelColor(edge, y), QColor(Qt::black)) << edge;
    // Between borders: the cell face and some title ink.
    const int ink = CountColour(image, QRect(2, 2, 96, bar->height() - 4), Qt::black);
    EXPECT_GT(ink, 0) << "Comment title drawn";
    EXPECT_EQ(image.pixelColor(150, 1), QColor(Qt::white)) << "raised cell outline";
    // After a drag the border is drawn at its new place.
    DragTo(200, 260);
    ReleaseAt(260);
    const QImage moved = bar->grab().toImage();
    EXPECT_EQ(moved.pixelColor(260, y), QColor(Qt::black));
    EXPECT_NE(moved.pixelColor(200, y), QColor(Qt::black));
}

TEST_F(TabBarTest, ToolbarCommandInPhoneListWindowShowsAndHidesTheBar) {
    CommandState state;
    ASSERT_TRUE(frame->RouteUpdate(cmd::ViewToolbar, state));
    EXPECT_EQ(state.checked, std::optional<bool>(true));
    ASSERT_TRUE(frame->RouteExecute(cmd::ViewToolbar));
    EXPECT_TRUE(bar->isHidden());
    CommandState after;
    frame->RouteUpdate(cmd::ViewToolbar, after);
    EXPECT_EQ(after.checked, std::optional<bool>(false));
    frame->RouteExecute(cmd::ViewToolbar);
    EXPECT_FALSE(bar->isHidden());
}

}  // namespace
}  // namespace tolvan::app::test

#include "tab_bar_test.moc"
