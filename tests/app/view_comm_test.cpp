// The buffer contents view on real channel buffers: the ring map, its colours and scroll
// range, switching buffers and display, the no-buffer line, printing.
#include "app/command_ids.h"
#include "app/mdi_frame_splitter.h"
#include "app/ring_map.h"
#include "app/view_buffer_info.h"
#include "app/view_comm.h"
#include "platform/movable_memory.h"
#include "qt_test_support.h"
#include "test_channel.h"

#include <QFile>
#include <QPointer>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QTimer>
#include <QRadioButton>
#include <QScrollBar>
#include <QSplitter>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace tolvan::app::test {
namespace {

bool Bluish(QColor c) {
    return c.blue() > 150 && c.red() < 110 && c.green() < 110;
}
bool Dark(QColor c) {
    return std::max({c.red(), c.green(), c.blue()}) < 110;
}

struct Ink {
    int blue = 0;
    int dark = 0;
};
Ink InkIn(const QImage& image, const QRect& r) {
    Ink ink;
    const QRect area = r.intersected(image.rect());
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (Bluish(c))
                ++ink.blue;
            else if (Dark(c))
                ++ink.dark;
        }
    return ink;
}

class ChannelWindow : public ::testing::Test {
protected:
    void SetUp() override {
        plat::MemoryFaults::Reset();
        channel.Connect(1050, 200);
        frame = Open();
    }
    void TearDown() override { plat::MemoryFaults::Reset(); }

    std::unique_ptr<CMDIFrameSplitter> Open() {
        auto f = std::make_unique<CMDIFrameSplitter>(&channel);
        f->resize(900, 500);
        f->show();
        channel.AddView(f->CommView());
        channel.AddView(f->InfoView());
        f->InitialUpdateFrame();
        return f;
    }
    CViewComm* comm() { return frame->CommView(); }
    QImage Grab() { return comm()->viewport()->grab().toImage(); }
    QRect CharCell(std::uint32_t p) {
        const RingGeometry& g = comm()->Geometry();
        return {g.CharX(p), g.LineY(p), g.cellWidth, g.lineHeight};
    }
    QRect HexCell(std::uint32_t p) {
        const RingGeometry& g = comm()->Geometry();
        return {g.HexX(p), g.LineY(p), 2 * g.cellWidth, g.lineHeight};
    }
    // The text of one line of the map as it is drawn: characters, then the digit pairs.
    std::pair<std::string, std::string> LineText(BufferSide side, std::uint32_t line) {
        std::string chars, hex;
        channel.Buffer(side)->VisitRing(
            [&](const BufferFigures&, std::span<const std::uint8_t> ring) {
                for (std::uint32_t p = line * 8; p < line * 8 + 8 && p < ring.size(); ++p) {
                    chars += RingChar(ring[p]);
                    const auto d = RingHex(ring[p]);
                    if (!hex.empty()) hex += ' ';
                    hex.append(d.begin(), d.end());
                }
            });
        return {chars, hex};
    }

    TestChannel channel;
    std::unique_ptr<CMDIFrameSplitter> frame;
};

TEST_F(ChannelWindow, NewWindowShowsNothingUntilContentsAreSwitchedOn) {
    channel.receive->Receive({'A', 'B'});
    channel.UpdateAllViews(HintReceive);
    EXPECT_FALSE(comm()->Display());
    EXPECT_EQ(comm()->TotalSize(), QSize(1, 1));
    EXPECT_EQ(comm()->verticalScrollBar()->maximum(), 0);
    const QImage blank = Grab();
    EXPECT_EQ(InkIn(blank, blank.rect()).dark + InkIn(blank, blank.rect()).blue, 0);

    CommandState state;
    ASSERT_TRUE(frame->RouteUpdate(cmd::ShowBufferContents, state));
    EXPECT_EQ(state.checked, std::optional<bool>(false));
    CommandState info;
    ASSERT_TRUE(frame->RouteUpdate(cmd::ShowBufferInfo, info));
    EXPECT_EQ(info.checked, std::optional<bool>(true));

    ASSERT_TRUE(frame->RouteExecute(cmd::ShowBufferContents));
    EXPECT_TRUE(comm()->Display());
    const QImage shown = Grab();
    EXPECT_GT(InkIn(shown, CharCell(0)).blue, 0);
}

TEST_F(ChannelWindow, TwoReceivedLettersShowBlueOnTheFirstLineAndTheRestBlack) {
    channel.receive->Receive({0x41, 0x42});
    channel.UpdateAllViews(HintReceive);
    comm()->SetDisplay(true);

    const auto [chars, hex] = LineText(BufferSide::Receive, 0);
    EXPECT_EQ(chars, "AB......");
    EXPECT_EQ(hex, "41 42 00 00 00 00 00 00");

    const RingGeometry& g = comm()->Geometry();
    EXPECT_EQ(comm()->TotalSize().height() / g.lineHeight, 132);
    EXPECT_EQ(comm()->TotalSize().width(), 24 * g.cellWidth + 3);
    EXPECT_EQ(comm()->verticalScrollBar()->maximum(),
              132 * g.lineHeight - comm()->viewport()->height());
    EXPECT_EQ(comm()->verticalScrollBar()->singleStep(), g.lineHeight);
    EXPECT_EQ(comm()->verticalScrollBar()->pageStep(), 16 * g.lineHeight);

    const QImage image = Grab();
    image.save(GrabPath("ring-map"));
    for (std::uint32_t p : {0u, 1u}) {
        const Ink c = InkIn(image, CharCell(p));
        const Ink d = InkIn(image, HexCell(p));
        EXPECT_GT(c.blue, 0) << p;
        EXPECT_EQ(c.dark, 0) << p;
        EXPECT_GT(d.blue, 0) << p;
        EXPECT_EQ(d.dark, 0) << p;
    }
    for (std::uint32_t p : {2u, 7u, 8u, 100u}) {
        const Ink d = InkIn(image, HexCell(p));
        EXPECT_GT(d.dark, 0) << p;
        EXPECT_EQ(d.blue, 0) << p;
    }
    // The separator between characters and digits.
    EXPECT_TRUE(Dark(image.pixelColor(g.SeparatorX(), g.lineHeight / 2)));
    EXPECT_TRUE(Dark(image.pixelColor(g.SeparatorX(), 5 * g.lineHeight)));

    // Once read, the letters turn black.
    ASSERT_EQ(channel.receive->Read(2), 2u);
    channel.UpdateAllViews(HintReceive);
    const QImage read = Grab();
    EXPECT_EQ(InkIn(read, HexCell(0)).blue, 0);
    EXPECT_GT(InkIn(read, HexCell(0)).dark, 0);
}

TEST(RingMap, CharactersAndDigitsOfEveryByteClass) {
    EXPECT_EQ(RingChar(0xE9), '.');
    EXPECT_EQ(std::string(RingHex(0xE9).data(), 2), "E9");
    EXPECT_EQ(RingChar(0x7F), '\x7F');
    EXPECT_EQ(std::string(RingHex(0x7F).data(), 2), "7F");
    EXPECT_EQ(RingChar(0x20), ' ');
    EXPECT_EQ(RingChar(0x1F), '.');
    EXPECT_EQ(RingChar(0x80), '.');
    EXPECT_EQ(RingChar(0x00), '.');
    EXPECT_EQ(std::string(RingHex(0x0A).data(), 2), "0A");
}

TEST(RingMap, UnreadPositionsFollowRingOrderAcrossTheWrap) {
    TestRing ring(16);
    ring.Receive({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14});
    ASSERT_EQ(ring.Read(12), 12u);
    ring.Receive({15, 16, 17, 18, 19, 20});  // wraps: written up to position 3
    const BufferFigures f = ring.readout.Figures();
    ASSERT_EQ(f.readIndex, 12u);
    ASSERT_EQ(f.writeIndex, 4u);
    ASSERT_EQ(f.count, 8u);
    for (std::uint32_t p = 0; p < 16; ++p) EXPECT_EQ(IsUnreadPosition(f, p), p < 4 || p >= 12) << p;

    TestRing full(16);
    full.Receive({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18});
    const BufferFigures ff = full.readout.Figures();
    EXPECT_EQ(ff.status & Overflow, Overflow);
    for (std::uint32_t p = 0; p < 16; ++p) EXPECT_TRUE(IsUnreadPosition(ff, p)) << p;

    TestRing empty(16);
    for (std::uint32_t p = 0; p < 16; ++p)
        EXPECT_FALSE(IsUnreadPosition(empty.readout.Figures(), p)) << p;
    // Figures of a huge ring must not wrap the arithmetic.
    BufferFigures huge{0xFFFFFFF0u, 0x20, 0, 0xFFFFFFE8u, 0x8};
    EXPECT_TRUE(IsUnreadPosition(huge, 0xFFFFFFEFu));
    EXPECT_TRUE(IsUnreadPosition(huge, 0x7));
    EXPECT_FALSE(IsUnreadPosition(huge, 0x8));
}

TEST_F(ChannelWindow, AfterTheRingWrapsOlderBytesStandBelowNewerOnes) {
    channel.Connect(16, 16);
    comm()->OnUpdate(nullptr, HintAll);
    channel.receive->Receive({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14});
    channel.receive->Read(12);
    channel.receive->Receive({0xE9, 0x7F, 'x', 'y', 'z', 'w'});
    comm()->SetDisplay(true);
    EXPECT_EQ(comm()->TotalSize().height(), 3 * comm()->Geometry().lineHeight);
    const QImage image = Grab();
    EXPECT_GT(InkIn(image, HexCell(0)).blue, 0) << "newest bytes, on line 0, still unread";
    EXPECT_EQ(InkIn(image, HexCell(8)).blue, 0) << "already read, black";
    EXPECT_GT(InkIn(image, HexCell(12)).blue, 0) << "oldest unread, on line 1";
    const auto [chars1, hex1] = LineText(BufferSide::Receive, 1);
    EXPECT_EQ(chars1, std::string(".......\x7F"));
    EXPECT_EQ(hex1, "09 0A 0B 0C 0D 0E E9 7F");
    const auto [chars0, hex0] = LineText(BufferSide::Receive, 0);
    EXPECT_EQ(chars0, "xyzw....");
    EXPECT_EQ(hex0, "78 79 7A 77 05 06 07 08");
}

TEST_F(ChannelWindow, ChannelWithoutBufferSaysSo) {
    channel.Disconnect();
    channel.UpdateAllViews(HintDisconnected);
    comm()->SetDisplay(true);
    const int h = comm()->Geometry().lineHeight;
    EXPECT_EQ(comm()->TotalSize().height(), h) << "no buffer: size 0, one line";
    const QImage image = Grab();
    image.save(GrabPath("no-buffer"));
    EXPECT_GT(InkIn(image, QRect(0, 0, image.width(), h)).dark, 0);
    EXPECT_EQ(InkIn(image, QRect(0, h, image.width(), image.height() - h)).dark, 0);
}

TEST_F(ChannelWindow, RingThatCannotBeLockedShowsTheNoBufferLine) {
    channel.receive->Receive({'A', 'B'});
    comm()->SetDisplay(true);
    const QImage normal = Grab();
    plat::MemoryFaults::FailLocks(0, 1000);
    const QImage failed = Grab();
    plat::MemoryFaults::Reset();
    const int h = comm()->Geometry().lineHeight;
    EXPECT_GT(InkIn(normal, QRect(0, h, normal.width(), 3 * h)).dark, 0)
        << "map lines below line 0";
    EXPECT_EQ(InkIn(failed, QRect(0, h, failed.width(), 3 * h)).dark, 0) << "only one line of text";
    EXPECT_EQ(InkIn(failed, failed.rect()).blue, 0);
    EXPECT_GT(InkIn(failed, QRect(0, 0, failed.width(), h)).dark, 0);
}

TEST_F(ChannelWindow, OutputButtonSwitchesContentsToTransmitBufferInEveryWindowOfTheChannel) {
    auto second = Open();
    comm()->SetDisplay(true);
    second->CommView()->SetDisplay(true);
    const int h = comm()->Geometry().lineHeight;
    ASSERT_EQ(comm()->TotalSize().height(), 132 * h);

    QTest::mouseClick(frame->InfoView()->OutputButton(), Qt::LeftButton);
    EXPECT_EQ(comm()->Selector(), BufferSide::Transmit);
    EXPECT_EQ(comm()->TotalSize().height(), (200 / 8 + 1) * h);
    EXPECT_EQ(second->CommView()->Selector(), BufferSide::Transmit);
    EXPECT_EQ(second->InfoView()->Selector(), BufferSide::Receive)
        << "the other window's figures keep their choice";

    QTest::mouseClick(frame->InfoView()->InputButton(), Qt::LeftButton);
    EXPECT_EQ(comm()->Selector(), BufferSide::Receive);
    EXPECT_EQ(comm()->TotalSize().height(), 132 * h);
}

TEST_F(ChannelWindow, SwitchingDisplayOffCollapsesScrollRangeAndOnRestoresIt) {
    comm()->SetDisplay(true);
    const QSize total = comm()->TotalSize();
    ASSERT_GT(comm()->verticalScrollBar()->maximum(), 0);
    frame->RouteExecute(cmd::ShowBufferContents);
    EXPECT_FALSE(comm()->Display());
    EXPECT_EQ(comm()->TotalSize(), QSize(1, 1));
    EXPECT_EQ(comm()->verticalScrollBar()->maximum(), 0);
    frame->RouteExecute(cmd::ShowBufferContents);
    EXPECT_EQ(comm()->TotalSize(), total);
    CommandState state;
    frame->RouteUpdate(cmd::ShowBufferContents, state);
    EXPECT_EQ(state.checked, std::optional<bool>(true));
}

TEST_F(ChannelWindow, DataHintsRepaintWithoutResizingOtherHintsResize) {
    comm()->SetDisplay(true);
    const QSize total = comm()->TotalSize();
    channel.Disconnect();
    comm()->OnUpdate(nullptr, HintReceive);
    EXPECT_EQ(comm()->TotalSize(), total);
    comm()->OnUpdate(nullptr, HintDisconnected);
    EXPECT_EQ(comm()->TotalSize().height(), comm()->Geometry().lineHeight);
}

TEST_F(ChannelWindow, LeftPaneIsHalfTheWindowAtCreation) {
    QApplication::processEvents();
    QSplitter* s = frame->Splitter();
    ASSERT_EQ(s->count(), 2);
    EXPECT_EQ(s->widget(0), comm());
    EXPECT_EQ(s->widget(1), frame->InfoView());
    EXPECT_EQ(s->sizes()[0], s->width() / 2);
    EXPECT_EQ(frame->ActiveView(), comm());
    frame->grab().save(GrabPath("channel-window"));
}

TEST_F(ChannelWindow, PrintsTheWholeMapOnAsManyPagesAsItTakes) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    auto pages = [&](const QString& name) {
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(dir.filePath(name));
        comm()->PrintTo(printer);
        QFile file(dir.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray pdf = file.readAll();
        return static_cast<int>(pdf.count("/Type /Page\n") + pdf.count("/Type /Page\r") +
                                pdf.count("/Type /Page "));
    };
    channel.receive->Receive({'A', 'B'});
    // Display off does not matter for printing.
    const int big = pages(QStringLiteral("big.pdf"));
    channel.Connect(16, 16);
    const int small = pages(QStringLiteral("small.pdf"));
    EXPECT_EQ(small, 1);
    EXPECT_GT(big, 1) << "132 lines do not fit one page";
    // Print Preview lays out the same pages.
    channel.Connect(1050, 1050);
    int previewPages = -1;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QPrintPreviewDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        auto* preview = dialog->findChild<QPrintPreviewWidget*>();
        ASSERT_NE(preview, nullptr);
        previewPages = preview->pageCount();
        dialog->reject();
    });
    EXPECT_TRUE(frame->RouteExecute(cmd::FilePrintPreview));
    EXPECT_EQ(previewPages, big);
    CommandState print;
    EXPECT_TRUE(frame->RouteUpdate(cmd::FilePrint, print));
    EXPECT_TRUE(print.enabled);
    EXPECT_TRUE(frame->RouteUpdate(cmd::FilePrintPreview, print));
}

}  // namespace
}  // namespace tolvan::app::test

namespace tolvan::app::test {
namespace {

TEST(ChannelWindowLife, ClosingTheChannelClosesItsWindows) {
    TestChannel channel(64, 64);
    QPointer<CMDIFrameSplitter> a = new CMDIFrameSplitter(&channel);
    QPointer<CMDIFrameSplitter> b = new CMDIFrameSplitter(&channel);
    for (CMDIFrameSplitter* f : {a.data(), b.data()}) {
        channel.AddView(f->CommView());
        channel.AddView(f->InfoView());
        f->InitialUpdateFrame();
        f->show();
    }
    ASSERT_EQ(channel.GetViews().size(), 4u);
    channel.OnCloseDocument();
    EXPECT_TRUE(channel.GetViews().empty());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(a.isNull());
    EXPECT_TRUE(b.isNull());
}

}  // namespace
}  // namespace tolvan::app::test
