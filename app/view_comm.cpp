#include "app/view_comm.h"

#include "app/app_strings.h"
#include "app/command_ids.h"
#include "app/mdi_child_frame.h"
#include "app/printer_setup.h"

#include <QPaintEvent>
#include <QThread>
#include <QPainter>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QScrollBar>

#include <algorithm>

namespace tolvan::app {

namespace {

// The maximum character width is taken over the characters the map can show (32..127): the
// font's own maximum counts rare wide glyphs and would spread the map far apart.
RingGeometry GeometryFor(const QFontMetrics& fm) {
    int widest = 1;
    for (char16_t c = 32; c < 127; ++c) widest = std::max(widest, fm.horizontalAdvance(QChar(c)));
    RingGeometry g;
    g.cellWidth = widest + 1;
    g.lineHeight = fm.height() + fm.leading();
    return g;
}

void DrawRing(QPainter& p, const RingGeometry& g, const QRect& clip, const BufferFigures& f,
              std::span<const std::uint8_t> ring, const QColor& unread, const QColor& other) {
    const std::uint32_t size = std::min<std::uint64_t>(f.size, ring.size());
    if (size == 0) return;
    const int ascent = p.fontMetrics().ascent();
    const std::uint32_t lastLine = (size - 1) / kBytesPerLine;
    const std::uint32_t first = static_cast<std::uint32_t>(std::max(clip.top(), 0) / g.lineHeight);
    const std::uint32_t last = std::min<std::uint32_t>(
        lastLine, static_cast<std::uint32_t>(std::max(clip.bottom(), 0) / g.lineHeight));
    for (std::uint32_t line = first; line <= last; ++line) {
        const std::uint32_t end = std::min<std::uint32_t>(size, (line + 1) * kBytesPerLine);
        for (std::uint32_t pos = line * kBytesPerLine; pos < end; ++pos) {
            const std::uint8_t byte = ring[pos];
            p.setPen(IsUnreadPosition(f, pos) ? unread : other);
            const int y = g.LineY(pos) + ascent;
            p.drawText(QPoint(g.CharX(pos), y), QString(QChar(RingChar(byte))));
            const auto hex = RingHex(byte);
            p.drawText(QPoint(g.HexX(pos), y), QString::fromLatin1(hex.data(), 2));
        }
    }
}

}  // namespace

CViewComm::CViewComm(ChannelBufferSource* source, QWidget* parent)
    : QAbstractScrollArea(parent), source_(source) {
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setBackgroundRole(QPalette::Base);
    viewport()->setAutoFillBackground(true);
    UpdateScrollBars();
}

void CViewComm::OnInitialUpdate() {
    initialised_ = true;
    unread_ = QColor(0, 0, 255);
    other_ = Qt::black;
    geometry_ = GeometryFor(QFontMetrics(font()));
    OnUpdate(nullptr, HintAll);
}

void CViewComm::OnDocumentClosing() {
    DestroyParentFrame(this);
}

void CViewComm::OnUpdate(tfw::CView* sender, long hint) {
    if (QThread::currentThread() != thread()) {
        // A change made by the transfer thread: the widgets are redrawn on their own thread.
        QMetaObject::invokeMethod(
            this, [this, sender, hint] { OnUpdate(sender, hint); }, Qt::QueuedConnection);
        return;
    }
    if (hint == HintShowReceive && selector_ == BufferSide::Transmit) {
        selector_ = BufferSide::Receive;
        viewport()->update();
    } else if (hint == HintShowTransmit && selector_ == BufferSide::Receive) {
        selector_ = BufferSide::Transmit;
        viewport()->update();
    }
    if (!initialised_ || !display_) return;
    if (hint == HintReceive || hint == HintTransmit) {
        viewport()->update();
        return;
    }
    const BufferReadout* buffer = source_ ? source_->Buffer(selector_) : nullptr;
    const std::uint32_t size = buffer ? buffer->Figures().size : 0;
    const int w = geometry_.cellWidth;
    const int h = geometry_.lineHeight;
    SetScrollSizes({geometry_.TotalWidth(), geometry_.TotalHeight(size)}, {16 * w, 16 * h}, {w, h});
    viewport()->update();
}

void CViewComm::SetDisplay(bool on) {
    display_ = on;
    if (on)
        OnUpdate(nullptr, HintAll);
    else
        SetScrollSizes({1, 1}, {1, 1}, {1, 1});
    viewport()->update();
}

void CViewComm::SetScrollSizes(QSize total, QSize page, QSize line) {
    total_ = total;
    page_ = page;
    line_ = line;
    UpdateScrollBars();
}

void CViewComm::UpdateScrollBars() {
    const QSize view = viewport()->size();
    horizontalScrollBar()->setRange(0, std::max(0, total_.width() - view.width()));
    horizontalScrollBar()->setPageStep(page_.width());
    horizontalScrollBar()->setSingleStep(line_.width());
    verticalScrollBar()->setRange(0, std::max(0, total_.height() - view.height()));
    verticalScrollBar()->setPageStep(page_.height());
    verticalScrollBar()->setSingleStep(line_.height());
}

void CViewComm::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    UpdateScrollBars();
}

void CViewComm::scrollContentsBy(int, int) {
    viewport()->update();
}

void CViewComm::paintEvent(QPaintEvent* event) {
    // Display off: the pane shows only its erased background.
    if (!display_ || !initialised_) return;
    QPainter p(viewport());
    p.setFont(font());
    const QPoint offset(horizontalScrollBar()->value(), verticalScrollBar()->value());
    p.translate(-offset);
    Draw(p, geometry_, event->rect().translated(offset));
}

void CViewComm::Draw(QPainter& painter, const RingGeometry& g, const QRect& clip) const {
    const BufferReadout* buffer = source_ ? source_->Buffer(selector_) : nullptr;
    std::uint32_t size = 0;
    const bool drawn = buffer && buffer->VisitRing([&](const BufferFigures& f,
                                                       std::span<const std::uint8_t> ring) {
        size = f.size;
        DrawRing(painter, g, clip, f, ring, unread_, other_);
    });
    painter.setPen(Qt::black);
    if (!drawn) {
        painter.drawText(QPoint(0, painter.fontMetrics().ascent()), AppText(str::NoBuffer));
        return;
    }
    const int x = g.SeparatorX();
    painter.drawLine(x, 0, x, g.TotalHeight(size));
}

void CViewComm::PrintTo(QPrinter& printer) const {
    QPainter p(&printer);
    if (!p.isActive()) return;
    QFont printFont(font(), &printer);
    p.setFont(printFont);
    const RingGeometry g = GeometryFor(QFontMetrics(printFont, &printer));
    const QRect page = printer.pageLayout().paintRectPixels(printer.resolution());
    const int linesPerPage = std::max(1, page.height() / g.lineHeight);

    const BufferReadout* buffer = source_ ? source_->Buffer(selector_) : nullptr;
    const std::uint32_t size = buffer ? buffer->Figures().size : 0;
    const int lines = static_cast<int>(size / kBytesPerLine + 1);
    const int pages = std::max(1, (lines + linesPerPage - 1) / linesPerPage);
    for (int i = 0; i < pages; ++i) {
        if (i > 0) printer.newPage();
        const int top = i * linesPerPage * g.lineHeight;
        const QRect clip(0, top, g.TotalWidth(), linesPerPage * g.lineHeight);
        p.save();
        p.translate(0, -top);
        p.setClipRect(clip);
        Draw(p, g, clip);
        p.restore();
    }
}

bool CViewComm::UpdateCommand(int id, CommandState& state) {
    if (id != cmd::FilePrint && id != cmd::FilePrintPreview) return false;
    state.enabled = true;
    return true;
}

bool CViewComm::ExecuteCommand(int id) {
    if (id == cmd::FilePrint) {
        FilePrint();
        return true;
    }
    if (id == cmd::FilePrintPreview) {
        FilePrintPreview();
        return true;
    }
    return false;
}

void CViewComm::FilePrint() {
    QPrintDialog dialog(&SharedPrinter(), this);
    if (dialog.exec() == QDialog::Accepted) PrintTo(SharedPrinter());
}

void CViewComm::FilePrintPreview() {
    QPrintPreviewDialog dialog(&SharedPrinter(), this);
    connect(&dialog, &QPrintPreviewDialog::paintRequested, this,
            [this](QPrinter* printer) { PrintTo(*printer); });
    dialog.exec();
}

}  // namespace tolvan::app
