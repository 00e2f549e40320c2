#include "app/view_buffer_info.h"

#include "app/command_ids.h"
#include "app/mdi_child_frame.h"

#include <QFontMetrics>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QGroupBox>
#include <QLabel>
#include <QRadioButton>
#include <QThread>
#include <QVBoxLayout>

#include <algorithm>

namespace tolvan::app {

namespace {
QLabel* ValueLabel(const QString& text, int controlId, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::number(controlId));
    label->setMinimumWidth(label->fontMetrics().horizontalAdvance(QStringLiteral("4294967295")));
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}
}  // namespace

CViewBufferInfo::CViewBufferInfo(ChannelBufferSource* source, QWidget* parent)
    : QScrollArea(parent), source_(source) {
    // Light grey form; its texts turn grey 0x808080 while the figures are switched off.
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(0xC0, 0xC0, 0xC0));
    pal.setColor(QPalette::Button, QColor(0xC0, 0xC0, 0xC0));
    for (auto role : {QPalette::WindowText, QPalette::ButtonText, QPalette::Text})
        pal.setColor(QPalette::Disabled, role, QColor(0x80, 0x80, 0x80));
    setPalette(pal);
    setAutoFillBackground(true);
    // A pane narrower or lower than the form (tiled windows) scrolls instead of hiding
    // figures and buttons.
    setFrameShape(QFrame::NoFrame);
    setWidgetResizable(true);
    viewport()->setBackgroundRole(QPalette::Window);

    auto* form = form_ = new QWidget;
    form->setAutoFillBackground(true);
    auto* column = new QVBoxLayout(form);
    // The figures keep their natural width when a line below them is wider.
    auto* figures = new QHBoxLayout;
    auto* grid = new QGridLayout;
    figures->addLayout(grid);
    figures->addStretch(1);
    column->addLayout(figures);
    grid->addWidget(new QLabel(QStringLiteral("Size, (bytes):"), form), 0, 0);
    grid->addWidget(size_ = ValueLabel(QStringLiteral("0"), ctl::SizeField, form), 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("Used space, (bytes):"), form), 1, 0);
    grid->addWidget(used_ = ValueLabel(QStringLiteral("0"), ctl::UsedField, form), 1, 1);
    grid->addWidget(new QLabel(QStringLiteral("Free space, (bytes):"), form), 2, 0);
    grid->addWidget(free_ = ValueLabel(QStringLiteral("0"), ctl::FreeField, form), 2, 1);
    grid->addWidget(new QLabel(QStringLiteral("Status:"), form), 3, 0);
    grid->addWidget(status_ = ValueLabel(QStringLiteral("0x0000"), ctl::StatusField, form), 3, 1);

    auto* group = new QGroupBox(QStringLiteral("Buffer"), form);
    auto* buttons = new QVBoxLayout(group);
    input_ = new QRadioButton(QStringLiteral("Input"), group);
    output_ = new QRadioButton(QStringLiteral("Output"), group);
    input_->setObjectName(QString::number(ctl::InputButton));
    output_->setObjectName(QString::number(ctl::OutputButton));
    // The buttons do not check themselves: the handlers decide what a click means.
    for (QRadioButton* b : {input_, output_}) {
        b->setAutoExclusive(false);
        buttons->addWidget(b);
    }
    grid->addWidget(group, 0, 2, 3, 1, Qt::AlignTop);

    // Below the figures, one line each, as wide as they need: the device, and whatever
    // else is told about the channel (AddLine).
    lines_ = new QFormLayout;
    lines_->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    column->addLayout(lines_);
    column->addStretch(1);
    device_ = AddLine(QStringLiteral("Device:"), ctl::DeviceField);
    // The channel's stream: a line that shows only while there is one.
    stream_ = AddLine(QStringLiteral("Stream:"), ctl::StreamField);
    lines_->setRowVisible(stream_, false);
    setWidget(form);

    connect(input_, &QRadioButton::clicked, this, [this] { OnInputClicked(); });
    connect(output_, &QRadioButton::clicked, this, [this] { OnOutputClicked(); });
    SetButtons(false, false);
}

QLabel* CViewBufferInfo::AddLine(const QString& label, int controlId) {
    auto* value = new QLabel(form_);
    value->setObjectName(QString::number(controlId));
    value->setTextInteractionFlags(Qt::TextSelectableByMouse);
    lines_->addRow(new QLabel(label, form_), value);
    return value;
}

QSize CViewBufferInfo::sizeHint() const {
    // The whole form, so that a window made at its default size shows all of it.
    return form_->sizeHint() + QSize(2 * frameWidth(), 2 * frameWidth());
}

QString CViewBufferInfo::FormatStatus(std::uint16_t status) {
    return QString::asprintf("0x%04X", static_cast<unsigned>(status));
}

QString CViewBufferInfo::FormatDevice(const DeviceReadout& device, const QFontMetrics& metrics,
                                      int maxWidth) {
    if (device.target.empty()) return {};
    const QString target = QString::fromStdString(device.target);
    const QString mark = device.gone ? QStringLiteral(" - gone") : QString();
    const int room = std::max(0, maxWidth - metrics.horizontalAdvance(mark));
    return metrics.elidedText(target, Qt::ElideMiddle, room) + mark;
}

void CViewBufferInfo::ShowDevice() {
    const DeviceReadout device = source_ ? source_->Device() : DeviceReadout{};
    // Room for a whole /dev/serial/by-id name; longer ones are cut (the tooltip has them whole).
    const int maxWidth = device_->fontMetrics().averageCharWidth() * 64;
    device_->setText(FormatDevice(device, device_->fontMetrics(), maxWidth));
    device_->setToolTip(QString::fromStdString(device.target));
    QPalette pal = device_->palette();
    pal.setColor(QPalette::Active, QPalette::WindowText,
                 device.gone ? QColor(0xC0, 0x00, 0x00)
                             : palette().color(QPalette::Active, QPalette::WindowText));
    pal.setColor(QPalette::Inactive, QPalette::WindowText,
                 pal.color(QPalette::Active, QPalette::WindowText));
    device_->setPalette(pal);
}

QString CViewBufferInfo::FormatStream(const StreamReadout& stream) {
    if (!stream.active) return {};
    QString where = QString::fromStdString(stream.where);
    if (stream.terminal && !stream.programOpen) where += QStringLiteral(" (closed)");
    return QStringLiteral("%1: %2 passed, %3 lost").arg(where).arg(stream.passed).arg(stream.lost);
}

void CViewBufferInfo::ShowStream() {
    const QString text = source_ ? FormatStream(source_->Stream()) : QString();
    stream_->setText(text);
    lines_->setRowVisible(stream_, !text.isEmpty());
}

QLabel* CViewBufferInfo::Field(int controlId) const {
    switch (controlId) {
        case ctl::SizeField:
            return size_;
        case ctl::UsedField:
            return used_;
        case ctl::FreeField:
            return free_;
        case ctl::StatusField:
            return status_;
        case ctl::DeviceField:
            return device_;
        default:
            // A line added below the figures.
            return form_->findChild<QLabel*>(QString::number(controlId));
    }
}

QString CViewBufferInfo::FieldText(int controlId) const {
    const QLabel* label = Field(controlId);
    return label ? label->text() : QString();
}

void CViewBufferInfo::SetButtons(bool inputChecked, bool outputChecked) {
    input_->setChecked(inputChecked);
    output_->setChecked(outputChecked);
}

void CViewBufferInfo::ShowAllFigures() {
    const BufferReadout* buffer = source_ ? source_->Buffer(selector_) : nullptr;
    const BufferFigures f = buffer ? buffer->Figures() : BufferFigures{};
    // A count above the size would be a damaged buffer; free space never goes negative.
    const std::uint32_t freeSpace = f.count <= f.size ? f.size - f.count : 0;
    size_->setText(QString::number(f.size));
    used_->setText(QString::number(f.count));
    free_->setText(QString::number(freeSpace));
    status_->setText(FormatStatus(f.status));
}

void CViewBufferInfo::OnInitialUpdate() {
    initialised_ = true;
    SetButtons(selector_ == BufferSide::Receive, selector_ == BufferSide::Transmit);
    OnUpdate(nullptr, HintAll);
}

void CViewBufferInfo::OnDocumentClosing() {
    DestroyParentFrame(this);
}

void CViewBufferInfo::OnTitleChanged() {
    if (QThread::currentThread() != thread()) {
        QMetaObject::invokeMethod(
            this, [this] { OnTitleChanged(); }, Qt::QueuedConnection);
        return;
    }
    UpdateParentFrameTitle(this);
}

void CViewBufferInfo::OnUpdate(tfw::CView* sender, long hint) {
    if (QThread::currentThread() != thread()) {
        // A change made by the transfer thread: the widgets are redrawn on their own thread.
        QMetaObject::invokeMethod(
            this, [this, sender, hint] { OnUpdate(sender, hint); }, Qt::QueuedConnection);
        return;
    }
    // Connecting and closing the connection retitle the channel: the caption follows.
    if (hint != HintReceive && hint != HintTransmit) UpdateParentFrameTitle(this);
    if (!initialised_ || !display_) return;
    ShowStream();
    const bool receiveShown = selector_ == BufferSide::Receive;
    if (hint == HintReceive || hint == HintTransmit) {
        if ((hint == HintReceive) != receiveShown) return;  // the other buffer changed
        const BufferReadout* buffer = source_ ? source_->Buffer(selector_) : nullptr;
        if (!buffer) return;
        const BufferFigures f = buffer->Figures();
        used_->setText(QString::number(f.count));
        free_->setText(QString::number(f.count <= f.size ? f.size - f.count : 0));
        status_->setText(FormatStatus(f.status));
        return;
    }
    ShowAllFigures();
    ShowDevice();
    update();
}

void CViewBufferInfo::OnInputClicked() {
    if (selector_ == BufferSide::Receive) {
        // Already shown: a click on a checked button leaves it checked.
        SetButtons(true, false);
        return;
    }
    SetButtons(true, false);
    selector_ = BufferSide::Receive;
    ShowAllFigures();
    if (source_) source_->UpdateOtherViews(this, HintShowReceive);
}

void CViewBufferInfo::OnOutputClicked() {
    if (selector_ == BufferSide::Transmit) {
        SetButtons(false, true);
        return;
    }
    SetButtons(false, true);
    selector_ = BufferSide::Transmit;
    ShowAllFigures();
    if (source_) source_->UpdateOtherViews(this, HintShowTransmit);
}

void CViewBufferInfo::SetDisplay(bool on) {
    if (on) {
        display_ = true;
        setEnabled(true);
        OnInitialUpdate();
    } else {
        display_ = false;
        SetButtons(false, false);
        for (QLabel* field : {size_, used_, free_, status_, device_, stream_}) field->clear();
        setEnabled(false);
    }
    update();
}

}  // namespace tolvan::app
