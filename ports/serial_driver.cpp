#include "ports/serial_driver.h"

#include <algorithm>
#include <atomic>
#include <cstdio>

#include "platform/movable_memory.h"
#include "platform/serial_api.h"
#include "platform/ticks.h"

namespace tolvan {

namespace {

using namespace tolvan::plat;

std::atomic<uint32_t> g_defaultRx{kDefaultQueueSize};
std::atomic<uint32_t> g_defaultTx{kDefaultQueueSize};

// Longest pause between two calls of the idle hook during a break.
constexpr uint32_t kBreakSliceMs = 10;

SerialDriverRecord& Rec(PortObject* p) {
    return *static_cast<SerialDriverRecord*>(p->driver.get());
}

int Fail(PortObject* p, int status) {
    p->status = status;
    return status;
}

int FailFromSystem(PortObject* p) {
    return Fail(p, StatusFromSystemError(GetLastError()));
}

// One error-and-queue query, its errors kept for LineStatus. A device that went away is
// reported (status recorded) rather than shown as an empty queue for ever.
int Query(PortObject* p, ComStat* stat) {
    SerialDriverRecord& r = Rec(p);
    uint32_t errors = 0;
    if (!ClearCommError(r.handle, &errors, stat)) return FailFromSystem(p);
    r.errors |= errors;
    return 0;
}

int ApplyDcb(PortObject* p) {
    if (!SetCommState(Rec(p).handle, Rec(p).dcb)) return FailFromSystem(p);
    return 0;
}

int OpReadBuffer(PortObject* p, uint8_t* dest, int32_t length) {
    SerialDriverRecord& r = Rec(p);
    if (length < 0 || (!dest && length > 0)) {
        p->count = 0;
        return Fail(p, kStatusInvalidParameter);
    }
    ComStat stat;
    if (int e = Query(p, &stat); e != 0) {
        p->count = 0;
        return e;
    }
    if (stat.cbInQue == 0) {
        p->count = 0;
        return kStatusBufferEmpty;
    }
    const uint32_t want = std::min<uint32_t>(static_cast<uint32_t>(length), stat.cbInQue);
    uint32_t got = 0;
    const bool ok = ReadComm(r.handle, dest, want, &got);
    p->count = static_cast<int32_t>(got);
    if (!ok) {
        const uint32_t err = GetLastError();
        ComStat again;
        uint32_t errors = 0;
        if (ClearCommError(r.handle, &errors, &again)) r.errors |= errors;
        SetLastError(err);
        return FailFromSystem(p);
    }
    return 0;
}

int OpWriteBuffer(PortObject* p, const uint8_t* data, int32_t length) {
    SerialDriverRecord& r = Rec(p);
    if (length < 0 || (!data && length > 0)) {
        p->count = 0;
        return Fail(p, kStatusInvalidParameter);
    }
    ComStat stat;
    if (int e = Query(p, &stat); e != 0) {
        p->count = 0;
        return e;
    }
    const uint32_t room = r.txQueueSize > stat.cbOutQue ? r.txQueueSize - stat.cbOutQue : 0;
    const uint32_t n = std::min<uint32_t>(static_cast<uint32_t>(length), room);
    uint32_t written = 0;
    if (n > 0 && !WriteComm(r.handle, data, n, &written)) {
        uint32_t errors = 0;
        ComStat again;
        if (ClearCommError(r.handle, &errors, &again)) r.errors |= errors;
    }
    p->count = static_cast<int32_t>(written);
    if (p->count >= length) return 0;
    return Fail(p, kStatusBufferFull);
}

int OpReadChar(PortObject* p) {
    uint8_t b = 0;
    const int r = OpReadBuffer(p, &b, 1);
    return r != 0 ? r : b;
}

int OpWriteChar(PortObject* p, uint8_t b) {
    return OpWriteBuffer(p, &b, 1);
}

int OpSetLine(PortObject* p, int32_t baud, int16_t parity, int16_t wordLength, int16_t stopBits) {
    return SerialSetLine(p, baud, parity, wordLength, stopBits);
}

int OpUseXonXoff(PortObject* p, bool on) {
    Dcb& d = Rec(p).dcb;
    d.fOutX = on;
    d.fInX = on;
    return ApplyDcb(p);
}

int OpUseRtsCts(PortObject* p, bool on) {
    Dcb& d = Rec(p).dcb;
    d.fOutxCtsFlow = on;
    d.fRtsControl = on ? RTS_CONTROL_HANDSHAKE : RTS_CONTROL_DISABLE;
    return ApplyDcb(p);
}

int OpUseDtrDsr(PortObject* p, bool on) {
    Dcb& d = Rec(p).dcb;
    d.fOutxDsrFlow = on;
    d.fDtrControl = on ? DTR_CONTROL_HANDSHAKE : DTR_CONTROL_DISABLE;
    return ApplyDcb(p);
}

// A refused block is ignored here, as the line operations have always done.
int OpSetDtr(PortObject* p, bool on) {
    Rec(p).dcb.fDtrControl = on ? DTR_CONTROL_ENABLE : DTR_CONTROL_DISABLE;
    SetCommState(Rec(p).handle, Rec(p).dcb);
    return 0;
}

int OpSetRts(PortObject* p, bool on) {
    Rec(p).dcb.fRtsControl = on ? RTS_CONTROL_ENABLE : RTS_CONTROL_DISABLE;
    SetCommState(Rec(p).handle, Rec(p).dcb);
    return 0;
}

int OpTxUsed(PortObject* p) {
    ComStat s;
    if (int e = Query(p, &s); e != 0) return e;
    return static_cast<int>(s.cbOutQue);
}

int OpTxFree(PortObject* p) {
    ComStat s;
    if (int e = Query(p, &s); e != 0) return e;
    const uint32_t size = Rec(p).txQueueSize;
    return static_cast<int>(size > s.cbOutQue ? size - s.cbOutQue : 0);
}

int OpRxUsed(PortObject* p) {
    ComStat s;
    if (int e = Query(p, &s); e != 0) return e;
    return static_cast<int>(s.cbInQue);
}

int OpRxFree(PortObject* p) {
    ComStat s;
    if (int e = Query(p, &s); e != 0) return e;
    const uint32_t size = Rec(p).rxQueueSize;
    return static_cast<int>(size > s.cbInQue ? size - s.cbInQue : 0);
}

int OpClearTx(PortObject* p) {
    if (!PurgeComm(Rec(p).handle, PURGE_TXCLEAR)) return FailFromSystem(p);
    return 0;
}

int OpSendBreak(PortObject* p, int32_t milliseconds) {
    SerialDriverRecord& r = Rec(p);
    SetCommBreak(r.handle);
    const uint32_t start = GetTickCount();
    const uint32_t total = milliseconds > 0 ? static_cast<uint32_t>(milliseconds) : 0;
    // The hook runs between short sleeps: the break is timed without spinning a core.
    for (;;) {
        const uint32_t elapsed = GetTickCount() - start;
        if (elapsed >= total) break;
        if (CallIdleHook() < 0) break;
        plat::Sleep(std::min(kBreakSliceMs, total - elapsed));
    }
    ClearCommBreak(r.handle);
    return 0;
}

int OpModemStatus(PortObject* p) {
    uint32_t ms = 0;
    if (!GetCommModemStatus(Rec(p).handle, &ms)) return FailFromSystem(p);
    return static_cast<int>(ms & 0xFF);
}

int OpLineStatus(PortObject* p) {
    ComStat s;
    if (int e = Query(p, &s); e != 0) return e;
    return static_cast<int>(Rec(p).errors & 0x1E);
}

int OpClearLineStatus(PortObject* p) {
    Rec(p).errors = 0;
    return 0;
}

int OpClose(PortObject* p) {
    int result = 0;
    if (p->driver) {
        SerialDriverRecord& r = Rec(p);
        EscapeCommFunction(r.handle, CLRDTR);
        EscapeCommFunction(r.handle, CLRRTS);
        if (!CloseComm(r.handle)) result = StatusFromSystemError(GetLastError());
        r.handle = kInvalidCommHandle;
        p->driver.reset();
    }
    DefaultClose(p);
    return result;
}

// wsprintf's %02x of a char argument: the value is sign-extended.
unsigned SignedChar(char c) {
    return static_cast<unsigned>(static_cast<int>(static_cast<signed char>(c)));
}

int OpDump(PortObject* p, const LineSink& sink) {
    if (!sink) return 0;
    SerialDriverRecord& r = Rec(p);
    const Dcb& d = r.dcb;
    char line[256];
    sink("");
    std::snprintf(line, sizeof line,
                  "Port type:  MS Windows  DCB BaudRate: %-6d  ByteSize: %1d  Parity: %1d",
                  static_cast<int>(d.BaudRate), d.ByteSize, d.Parity);
    sink(line);
    std::snprintf(line, sizeof line, "StopBits: %1d fBinary: %1d  fRtsControl: %1d", d.StopBits,
                  d.fBinary ? 1 : 0, d.fRtsControl);
    sink(line);
    std::snprintf(
        line, sizeof line,
        "Parity: %1d  OutCtsFlow: %1d  OutDsrFlow: %1d  DtrControl: %1d  OutX: %1d  InX: %1d",
        d.fParity ? 1 : 0, d.fOutxCtsFlow ? 1 : 0, d.fOutxDsrFlow ? 1 : 0, d.fDtrControl,
        d.fOutX ? 1 : 0, d.fInX ? 1 : 0);
    sink(line);
    std::snprintf(line, sizeof line,
                  "Null: %1d  DtrControl: %1d  RtsControl: %1d  XonChar: %02x  XoffChar: %02x",
                  d.fNull ? 1 : 0, d.fDtrControl, d.fRtsControl, SignedChar(d.XonChar),
                  SignedChar(d.XoffChar));
    sink(line);
    std::snprintf(line, sizeof line, "XonLim: %-5u XoffLim: %-5u EofChr: %02x  EvtChr: %02x",
                  static_cast<unsigned>(d.XonLim), static_cast<unsigned>(d.XoffLim),
                  SignedChar(d.EofChar), SignedChar(d.EvtChar));
    sink(line);
    const int ls = OpLineStatus(p);
    const int lineBits = ls < 0 ? 0 : ls;
    ComStat s;
    Query(p, &s);
    auto bit = [](uint32_t v, uint32_t mask) { return (v & mask) ? 1 : 0; };
    std::snprintf(
        line, sizeof line,
        "RX count/free: %5d/%-5d  TX count/free: %5d/%-5d  BREAK/FE/OE/PE: %d%d%d%d",
        static_cast<int>(s.cbInQue), static_cast<int>(r.rxQueueSize) - static_cast<int>(s.cbInQue),
        static_cast<int>(s.cbOutQue),
        static_cast<int>(r.txQueueSize) - static_cast<int>(s.cbOutQue), bit(lineBits, CE_BREAK),
        bit(lineBits, CE_FRAME), bit(lineBits, CE_OVERRUN), bit(lineBits, CE_RXPARITY));
    sink(line);
    std::snprintf(line, sizeof line, "CE_BREAK:%d  CE_FRAME:%d  CE_MODE:%d CE_OVERRUN:%d",
                  bit(r.errors, CE_BREAK), bit(r.errors, CE_FRAME), bit(r.errors, CE_MODE),
                  bit(r.errors, CE_OVERRUN));
    sink(line);
    const int msr = OpModemStatus(p);
    const uint32_t ms = msr < 0 ? 0 : static_cast<uint32_t>(msr);
    std::snprintf(line, sizeof line,
                  "CE_RXOVER:%d CE_RXPARITY:%d CE_TXFULL:%d  CTS/DSR/RI/CD: %d%d%d%d",
                  bit(r.errors, CE_RXOVER), bit(r.errors, CE_RXPARITY), bit(r.errors, CE_TXFULL),
                  bit(ms, MS_CTS_ON), bit(ms, MS_DSR_ON), bit(ms, MS_RING_ON), bit(ms, MS_RLSD_ON));
    sink(line);
    std::snprintf(line, sizeof line, "8250:%04x", r.uartWord);
    sink(line);
    return 0;
}

// Opens the device and prepares the record; the block is applied later by SetLine.
bool OpenDevice(PortObject* p) {
    SerialDriverRecord& r = Rec(p);
    r.rxQueueSize = g_defaultRx.load();
    r.txQueueSize = g_defaultTx.load();
    r.errors = 0;
    r.handle = OpenComm(Win32DeviceName(p->port), true);
    p->status = 0;
    if (r.handle == kInvalidCommHandle) {
        p->status = StatusFromSystemError(GetLastError());
        return false;
    }
    SetupComm(r.handle, r.rxQueueSize, r.txQueueSize);
    GetCommMask(r.handle, &r.savedEventMask);
    SetCommMask(r.handle, 0);
    GetCommState(r.handle, &r.dcb);
    PrepareSerialDcb(&r.dcb, r.rxQueueSize);
    r.dcb.fParity = false;
    GetCommTimeouts(r.handle, &r.savedTimeouts);
    CommTimeouts t;
    t.ReadIntervalTimeout = MAXDWORD;
    t.ReadTotalTimeoutMultiplier = 0;
    t.ReadTotalTimeoutConstant = 0;
    t.WriteTotalTimeoutMultiplier = 0;
    t.WriteTotalTimeoutConstant = 0;
    SetCommTimeouts(r.handle, t);
    return true;
}

void FillSerialOperations(PortObject* p) {
    PortOperations& o = p->ops;
    o.ReadChar = OpReadChar;
    // PeekChar stays unsupported: nothing calls it.
    o.WriteChar = OpWriteChar;
    o.Close = OpClose;
    o.SetLine = OpSetLine;
    o.UseXonXoff = OpUseXonXoff;
    o.UseRtsCts = OpUseRtsCts;
    o.UseDtrDsr = OpUseDtrDsr;
    o.SetDtr = OpSetDtr;
    o.SetRts = OpSetRts;
    o.TxFree = OpTxFree;
    o.TxUsed = OpTxUsed;
    o.RxFree = OpRxFree;
    o.RxUsed = OpRxUsed;
    o.ClearTx = OpClearTx;
    o.WriteBuffer = OpWriteBuffer;
    o.ReadBuffer = OpReadBuffer;
    o.Dump = OpDump;
    o.SendBreak = OpSendBreak;
    o.ModemStatus = OpModemStatus;
    o.LineStatus = OpLineStatus;
    o.ClearLineStatus = OpClearLineStatus;
}

}  // namespace

void PrepareSerialDcb(plat::Dcb* dcb, uint32_t rxQueueSize) {
    dcb->fBinary = true;
    dcb->fNull = false;
    dcb->fOutxCtsFlow = false;
    dcb->fOutxDsrFlow = false;
    dcb->fDtrControl = DTR_CONTROL_ENABLE;
    dcb->fRtsControl = RTS_CONTROL_ENABLE;
    dcb->XonChar = 0x11;
    dcb->XoffChar = 0x13;
    dcb->XonLim = static_cast<uint16_t>(std::min<uint32_t>(rxQueueSize / 4, 0xFFFF));
    dcb->XoffLim = dcb->XonLim;
    dcb->EofChar = 0;
    dcb->EvtChar = 0;
}

int SerialSetLine(PortObject* p, int32_t baud, int16_t parity, int16_t wordLength,
                  int16_t stopBits) {
    SerialDriverRecord* r = SerialRecord(p);
    if (!r) return UnsupportedOperation(p);
    if (baud < 110 || baud > 115200) return Fail(p, kStatusIllegalBaud);
    r->dcb.BaudRate = baud == 115200 ? 57601u : static_cast<uint32_t>(baud);
    // Out of the byte's range is as unusable as any other word length the device refuses.
    r->dcb.ByteSize = wordLength >= 0 && wordLength <= 255 ? static_cast<uint8_t>(wordLength) : 0;
    switch (parity & ~0x20) {
        case 'E':
            r->dcb.Parity = EVENPARITY;
            break;
        case 'M':
            r->dcb.Parity = MARKPARITY;
            break;
        case 'N':
            r->dcb.Parity = NOPARITY;
            break;
        case 'O':
            r->dcb.Parity = ODDPARITY;
            break;
        case 'S':
            r->dcb.Parity = SPACEPARITY;
            break;
        default:
            return Fail(p, kStatusIllegalParity);
    }
    switch (stopBits) {
        case 1:
            r->dcb.StopBits = ONESTOPBIT;
            break;
        case 2:
            r->dcb.StopBits = TWOSTOPBITS;
            break;
        default:
            return Fail(p, kStatusIllegalStopBits);
    }
    if (!SetCommState(r->handle, r->dcb)) FailFromSystem(p);
    return p->status;
}

PortObject* OpenWin32Port(int32_t portIndex, int32_t baud, int16_t parity, int16_t wordLength,
                          int16_t stopBits) {
    PortObject* p = NewPortObject();
    if (!p) return PlaceholderPort();
    InitPortObject(p);
    if (!AllocationAllowed()) {
        p->ops.Close(p);
        return PlaceholderPort();
    }
    p->driver = std::make_unique<SerialDriverRecord>();
    p->port = portIndex;
    p->type = kDriverWin32;
    if (!OpenDevice(p)) return p;
    SerialSetLine(p, baud, parity, wordLength, stopBits);
    FillSerialOperations(p);
    return p;
}

void SetDefaultQueueSizes(uint32_t rxSize, uint32_t txSize) {
    g_defaultRx.store(rxSize);
    g_defaultTx.store(txSize);
}

uint32_t DefaultRxQueueSize() {
    return g_defaultRx.load();
}
uint32_t DefaultTxQueueSize() {
    return g_defaultTx.load();
}

SerialDriverRecord* SerialRecord(PortObject* p) {
    if (!p || p->type != kDriverWin32 || !p->driver) return nullptr;
    return static_cast<SerialDriverRecord*>(p->driver.get());
}

int StatusFromSystemError(uint32_t error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
            return kStatusNo8250;
        case ERROR_ACCESS_DENIED:
            return kStatusInUse;
        default:
            return kStatusGeneralError;
    }
}

std::string Win32DeviceName(int32_t portIndex) {
    return "\\\\.\\COM" + std::to_string(portIndex + 1);
}

}  // namespace tolvan
