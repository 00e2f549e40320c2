// CViewBufferInfo: the right pane of a channel window. It shows the size, used space, free
// space and status word of the receive or transmit buffer, and its Input and Output buttons
// choose the buffer shown here and in the buffer contents views of the channel. Below the
// figures it names the device the channel's port stands for ("/dev/ttyUSB0", "loop://"),
// marked " - gone" once the port found it gone; empty while not connected. When the channel
// has a stream, a row below names its terminal (or the client holding it) with the bytes it
// passed on and lost.
#pragma once

#include "app/channel_buffer_source.h"

#include <QScrollArea>

class QFontMetrics;
class QFormLayout;
class QLabel;
class QRadioButton;

namespace tolvan::app {

class CViewBufferInfo : public QScrollArea, public ChannelView {
    Q_OBJECT
public:
    // source: the channel whose buffers are shown; it must outlive the view.
    explicit CViewBufferInfo(ChannelBufferSource* source, QWidget* parent = nullptr);

    void OnInitialUpdate() override;
    void OnUpdate(tfw::CView* sender, long hint) override;
    // The channel was retitled (its port's line settings changed): the caption follows.
    void OnTitleChanged() override;
    // The channel is going away: the window showing it closes.
    void OnDocumentClosing() override;

    // Off: the fields empty, both buttons unchecked, the form greyed and disabled.
    // On: the buttons from the last choice and the current figures.
    void SetDisplay(bool on);
    bool Display() const { return display_; }
    BufferSide Selector() const { return selector_; }
    bool IsInitialised() const { return initialised_; }

    // Text of a value field (ctl::SizeField .. ctl::StatusField, ctl::DeviceField).
    QString FieldText(int controlId) const;
    QRadioButton* InputButton() const { return input_; }
    QRadioButton* OutputButton() const { return output_; }

    // A pane of any size: a pane smaller than the form scrolls it.
    QSize minimumSizeHint() const override { return {1, 1}; }
    QSize sizeHint() const override;

    // Adds a line below the figures: label, then a value field with that id (FieldText).
    // The figures' layout stays as it is; the form grows and scrolls as needed.
    QLabel* AddLine(const QString& label, int controlId);

    // The status word as shown: "0x" and four upper-case hexadecimal digits.
    static QString FormatStatus(std::uint16_t status);
    // The device line: the target, " - gone" after it when it went away. A long target is
    // cut in its middle to `maxWidth` pixels of `metrics`; the mark always shows.
    static QString FormatDevice(const DeviceReadout& device, const QFontMetrics& metrics,
                                int maxWidth);
    // The stream line: "/dev/pts/5: 1200 passed, 0 lost" ("(closed)" after a terminal no
    // program has open); empty without a stream.
    static QString FormatStream(const StreamReadout& stream);

private:
    void OnInputClicked();
    void OnOutputClicked();
    void ShowAllFigures();
    // Asks the channel for its device (only on hints that may change it: not per byte).
    void ShowDevice();
    void ShowStream();
    void SetButtons(bool inputChecked, bool outputChecked);
    QLabel* Field(int controlId) const;

    ChannelBufferSource* source_;
    QWidget* form_;
    QFormLayout* lines_;
    QLabel* size_;
    QLabel* used_;
    QLabel* free_;
    QLabel* status_;
    QLabel* device_;
    QLabel* stream_;
    QRadioButton* input_;
    QRadioButton* output_;
    bool initialised_ = false;
    BufferSide selector_ = BufferSide::Receive;
    bool display_ = true;
};

}  // namespace tolvan::app
