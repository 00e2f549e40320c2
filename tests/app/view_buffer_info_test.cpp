// The buffer information view on real channel buffers: the four figures, the status word,
// the Input/Output buttons and the hints they send, switching the figures off and on.
#include "app/command_ids.h"
#include "app/mdi_frame_splitter.h"
#include "app/view_buffer_info.h"
#include "app/view_comm.h"
#include "qt_test_support.h"
#include "test_channel.h"

#include <QLabel>
#include <QRadioButton>
#include <QTest>
#include <gtest/gtest.h>

#include <thread>

namespace tolvan::app::test {
namespace {

class BufferInfo : public ::testing::Test {
protected:
    void SetUp() override {
        channel.Connect(1050, 1050);
        frame = std::make_unique<CMDIFrameSplitter>(&channel);
        frame->resize(900, 400);
        frame->show();
        channel.AddView(frame->CommView());
        channel.AddView(frame->InfoView());
        frame->InitialUpdateFrame();
    }
    CViewBufferInfo* info() { return frame->InfoView(); }
    QStringList Figures() {
        return {info()->FieldText(ctl::SizeField), info()->FieldText(ctl::UsedField),
                info()->FieldText(ctl::FreeField), info()->FieldText(ctl::StatusField)};
    }
    static QStringList Expect(const char* size, const char* used, const char* free,
                              const char* status) {
        return {QLatin1String(size), QLatin1String(used), QLatin1String(free),
                QLatin1String(status)};
    }

    TestChannel channel;
    std::unique_ptr<CMDIFrameSplitter> frame;
};

TEST_F(BufferInfo, FreshConnectionShowsTheReceiveBufferFigures) {
    EXPECT_EQ(Figures(), Expect("1050", "0", "1050", "0x0000"));
    EXPECT_TRUE(info()->InputButton()->isChecked());
    EXPECT_FALSE(info()->OutputButton()->isChecked());
    info()->grab().save(GrabPath("buffer-info"));
}

TEST_F(BufferInfo, OverflowShowsStatus0004AndUsedEqualsSize) {
    std::initializer_list<std::uint8_t> block = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    for (int i = 0; i < 106; ++i) channel.receive->Receive(block);  // 1060 bytes into 1050
    channel.UpdateAllViews(HintReceive);
    EXPECT_EQ(Figures(), Expect("1050", "1050", "0", "0x0004"));
}

TEST_F(BufferInfo, ShortReadShows0002UntilNewBytesArrive) {
    channel.receive->Receive({'a', 'b', 'c'});
    channel.UpdateAllViews(HintReceive);
    EXPECT_EQ(Figures(), Expect("1050", "3", "1047", "0x0000"));
    EXPECT_EQ(channel.receive->Read(10), 3u);
    channel.UpdateAllViews(HintReceive);
    EXPECT_EQ(Figures(), Expect("1050", "0", "1050", "0x0002"));
    channel.receive->Receive({'d'});
    channel.UpdateAllViews(HintReceive);
    EXPECT_EQ(Figures(), Expect("1050", "1", "1049", "0x0000"));
}

TEST_F(BufferInfo, HintOfTheOtherBufferChangesNothing) {
    channel.transmit->Write({'x', 'y'});
    channel.UpdateAllViews(HintTransmit);
    EXPECT_EQ(Figures(), Expect("1050", "0", "1050", "0x0000")) << "transmit change, receive shown";
    // A data hint does not touch the size field.
    channel.receive->Receive({'q'});
    info()->findChild<QLabel*>(QString::number(ctl::SizeField))->setText(QStringLiteral("stale"));
    channel.UpdateAllViews(HintReceive);
    EXPECT_EQ(Figures(), Expect("stale", "1", "1049", "0x0000"));
    channel.UpdateAllViews(HintSizes);
    EXPECT_EQ(Figures(), Expect("1050", "1", "1049", "0x0000"));
}

TEST_F(BufferInfo, ClosedConnectionShowsZeros) {
    channel.receive->Receive({'a'});
    channel.UpdateAllViews(HintReceive);
    channel.Disconnect();
    channel.UpdateAllViews(HintReceive);  // no buffer: a data hint changes nothing
    EXPECT_EQ(Figures(), Expect("1050", "1", "1049", "0x0000"));
    channel.UpdateAllViews(HintDisconnected);
    EXPECT_EQ(Figures(), Expect("0", "0", "0", "0x0000"));
}

TEST_F(BufferInfo, OutputShowsTransmitFiguresAndTellsTheOtherViewsOnce) {
    channel.transmit->Write({'A', 'T', '\r'});
    QTest::mouseClick(info()->OutputButton(), Qt::LeftButton);
    EXPECT_EQ(Figures(), Expect("1050", "3", "1047", "0x0000"));
    EXPECT_FALSE(info()->InputButton()->isChecked());
    EXPECT_TRUE(info()->OutputButton()->isChecked());
    ASSERT_EQ(channel.sent.size(), 1u);
    EXPECT_EQ(channel.sent[0].first, static_cast<tfw::CView*>(info()));
    EXPECT_EQ(channel.sent[0].second, HintShowTransmit);
    EXPECT_EQ(frame->CommView()->Selector(), BufferSide::Transmit);

    // Clicking Output again changes nothing and sends nothing; the button stays checked.
    QTest::mouseClick(info()->OutputButton(), Qt::LeftButton);
    EXPECT_EQ(channel.sent.size(), 1u);
    EXPECT_TRUE(info()->OutputButton()->isChecked());

    QTest::mouseClick(info()->InputButton(), Qt::LeftButton);
    ASSERT_EQ(channel.sent.size(), 2u);
    EXPECT_EQ(channel.sent[1].second, HintShowReceive);
    EXPECT_EQ(Figures(), Expect("1050", "0", "1050", "0x0000"));
    EXPECT_TRUE(info()->InputButton()->isChecked());
    EXPECT_FALSE(info()->OutputButton()->isChecked());
}

TEST_F(BufferInfo, SwitchingFiguresOffEmptiesAndGreysThemOnRestores) {
    QTest::mouseClick(info()->OutputButton(), Qt::LeftButton);
    ASSERT_TRUE(frame->RouteExecute(cmd::ShowBufferInfo));
    EXPECT_FALSE(info()->Display());
    EXPECT_EQ(Figures(), Expect("", "", "", ""));
    EXPECT_FALSE(info()->InputButton()->isChecked());
    EXPECT_FALSE(info()->OutputButton()->isChecked());
    EXPECT_FALSE(info()->isEnabled());
    const QImage off = info()->grab().toImage();
    off.save(GrabPath("buffer-info-off"));
    EXPECT_EQ(CountColour(off, off.rect(), Qt::black), 0) << "labels drawn grey";
    EXPECT_GT(CountColour(off, off.rect(), QColor(0x80, 0x80, 0x80)), 0);
    CommandState state;
    frame->RouteUpdate(cmd::ShowBufferInfo, state);
    EXPECT_EQ(state.checked, std::optional<bool>(false));

    // Updates while off leave the fields empty.
    channel.transmit->Write({'z'});
    channel.UpdateAllViews(HintAll);
    EXPECT_EQ(Figures(), Expect("", "", "", ""));

    frame->RouteExecute(cmd::ShowBufferInfo);
    EXPECT_TRUE(info()->isEnabled());
    EXPECT_TRUE(info()->OutputButton()->isChecked()) << "the last choice comes back";
    EXPECT_FALSE(info()->InputButton()->isChecked());
    EXPECT_EQ(Figures(), Expect("1050", "1", "1049", "0x0000"));
    const QImage on = info()->grab().toImage();
    EXPECT_GT(CountColour(on, on.rect(), Qt::black), 0);
}

TEST(BufferInfoFormat, StatusWordIsFourUpperCaseHexDigits) {
    EXPECT_EQ(CViewBufferInfo::FormatStatus(0), QStringLiteral("0x0000"));
    EXPECT_EQ(CViewBufferInfo::FormatStatus(0x000F), QStringLiteral("0x000F"));
    EXPECT_EQ(CViewBufferInfo::FormatStatus(0xABCD), QStringLiteral("0xABCD"));
}

TEST(BufferInfoOwnWindow, TwoWindowsKeepTheirOwnFiguresChoice) {
    TestChannel channel(1050, 300);
    CMDIFrameSplitter a(&channel), b(&channel);
    for (tfw::CView* v :
         std::initializer_list<tfw::CView*>{a.CommView(), a.InfoView(), b.CommView(), b.InfoView()})
        channel.AddView(v);
    a.InitialUpdateFrame();
    b.InitialUpdateFrame();
    a.show();
    b.show();
    QTest::mouseClick(a.InfoView()->OutputButton(), Qt::LeftButton);
    EXPECT_EQ(a.InfoView()->FieldText(ctl::SizeField), QStringLiteral("300"));
    EXPECT_EQ(b.InfoView()->FieldText(ctl::SizeField), QStringLiteral("1050"));
    EXPECT_EQ(b.CommView()->Selector(), BufferSide::Transmit);
    // Switching the figures of one window off leaves the other's.
    a.RouteExecute(cmd::ShowBufferInfo);
    EXPECT_TRUE(b.InfoView()->Display());
}

}  // namespace
}  // namespace tolvan::app::test

namespace tolvan::app::test {
namespace {

TEST_F(BufferInfo, UpdatesFromAnotherThreadArriveOnTheWindowThread) {
    std::thread transfer([&] {
        channel.receive->Receive(
            {'x', 'y', 'z', 'w'});  // the transfer thread stores and tells the views
        channel.UpdateAllViews(HintReceive);
    });
    transfer.join();
    EXPECT_EQ(info()->FieldText(ctl::UsedField), QStringLiteral("0"))
        << "not touched from the other thread";
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(Figures(), Expect("1050", "4", "1046", "0x0000"));
}

}  // namespace
}  // namespace tolvan::app::test
