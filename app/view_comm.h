// CViewComm: the left pane of a channel window. It shows the whole ring of the channel's
// receive or transmit buffer, eight positions a line, each byte as a character and as two
// hexadecimal digits; the bytes not yet read (or sent) are blue, the rest black. The display
// is off until the user switches it on (View > Buffer's Contents).
#pragma once

#include "app/channel_buffer_source.h"
#include "app/command_target.h"
#include "app/ring_map.h"

#include <QAbstractScrollArea>
#include <QColor>

class QPainter;
class QPrinter;

namespace tolvan::app {

class CViewComm : public QAbstractScrollArea, public ChannelView, public CommandTarget {
    Q_OBJECT
public:
    // source: the channel whose buffers are shown; it must outlive the view.
    explicit CViewComm(ChannelBufferSource* source, QWidget* parent = nullptr);

    void OnInitialUpdate() override;
    void OnUpdate(tfw::CView* sender, long hint) override;
    // The channel is going away: the window showing it closes.
    void OnDocumentClosing() override;

    // Switches the map on (scroll sizes for the buffer) or off (nothing drawn, no scrolling).
    void SetDisplay(bool on);
    bool Display() const { return display_; }
    BufferSide Selector() const { return selector_; }
    bool IsInitialised() const { return initialised_; }

    const RingGeometry& Geometry() const { return geometry_; }
    // Scroll extent, page and line steps in pixels.
    QSize TotalSize() const { return total_; }
    QSize PageStep() const { return page_; }
    QSize LineStep() const { return line_; }
    QColor UnreadColour() const { return unread_; }
    QColor OtherColour() const { return other_; }

    // Draws the map of the selected buffer (or the line saying there is none) in content
    // coordinates; only the lines that meet clip are drawn.
    void Draw(QPainter& painter, const RingGeometry& geometry, const QRect& clip) const;
    // Prints the whole map, as many pages as it takes.
    void PrintTo(QPrinter& printer) const;

    bool UpdateCommand(int id, CommandState& state) override;
    bool ExecuteCommand(int id) override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    void SetScrollSizes(QSize total, QSize page, QSize line);
    void UpdateScrollBars();
    void FilePrint();
    void FilePrintPreview();

    ChannelBufferSource* source_;
    RingGeometry geometry_;
    QColor unread_ = QColor(0, 0, 255);
    QColor other_ = Qt::black;
    bool initialised_ = false;
    BufferSide selector_ = BufferSide::Receive;
    bool display_ = false;
    QSize total_{1, 1};
    QSize page_{1, 1};
    QSize line_{1, 1};
};

}  // namespace tolvan::app
