#include "platform/termios_compose.h"

namespace tolvan::plat {

namespace {

struct SpeedEntry {
    uint32_t baud;
    speed_t code;
};

constexpr SpeedEntry kSpeeds[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},
    {150, B150},         {200, B200},         {300, B300},         {600, B600},
    {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
    {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
    {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
};

}  // namespace

uint32_t WireBaud(uint32_t dcbBaud) {
    return dcbBaud == 57601 ? 115200 : dcbBaud;
}

speed_t SpeedConstant(uint32_t baud) {
    for (const auto& e : kSpeeds)
        if (e.baud == baud) return e.code;
    return 0;
}

uint32_t SpeedValue(speed_t speed) {
    for (const auto& e : kSpeeds)
        if (e.code == speed) return e.baud;
    return 0;
}

uint32_t ComposeTermios(const termios& base, const Dcb& dcb, ComposedTermios* out) {
    termios t = base;
    // Raw: no line editing, no translation, no signals, no echo.
    t.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF |
                   IXANY | INPCK | IGNPAR | IUCLC | IMAXBEL);
    t.c_oflag &= ~OPOST;
    t.c_lflag &= ~(ECHO | ECHOE | ECHOK | ECHONL | ICANON | ISIG | IEXTEN | NOFLSH | TOSTOP);
    t.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    t.c_cflag |= CREAD | CLOCAL;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;

    switch (dcb.ByteSize) {
        case 5:
            t.c_cflag |= CS5;
            break;
        case 6:
            t.c_cflag |= CS6;
            break;
        case 7:
            t.c_cflag |= CS7;
            break;
        case 8:
            t.c_cflag |= CS8;
            break;
        default:
            return ERROR_INVALID_PARAMETER;
    }
    switch (dcb.Parity) {
        case NOPARITY:
            break;
        case ODDPARITY:
            t.c_cflag |= PARENB | PARODD;
            break;
        case EVENPARITY:
            t.c_cflag |= PARENB;
            break;
        case MARKPARITY:
            t.c_cflag |= PARENB | PARODD | CMSPAR;
            break;
        case SPACEPARITY:
            t.c_cflag |= PARENB | CMSPAR;
            break;
        default:
            return ERROR_INVALID_PARAMETER;
    }
    switch (dcb.StopBits) {
        case ONESTOPBIT:
            break;
        case ONE5STOPBITS:
            // The hardware gives 1.5 stop bits only with 5 data bits (CSTOPB then means 1.5).
            if (dcb.ByteSize != 5) return ERROR_INVALID_PARAMETER;
            t.c_cflag |= CSTOPB;
            break;
        case TWOSTOPBITS:
            if (dcb.ByteSize == 5) return ERROR_INVALID_PARAMETER;
            t.c_cflag |= CSTOPB;
            break;
        default:
            return ERROR_INVALID_PARAMETER;
    }
    if (dcb.fParity && dcb.Parity != NOPARITY) t.c_iflag |= INPCK;
    if (dcb.fOutxCtsFlow || dcb.fRtsControl == RTS_CONTROL_HANDSHAKE) t.c_cflag |= CRTSCTS;
    if (dcb.fOutX) t.c_iflag |= IXON;
    if (dcb.fInX) t.c_iflag |= IXOFF;
    t.c_cc[VSTART] = static_cast<cc_t>(dcb.XonChar);
    t.c_cc[VSTOP] = static_cast<cc_t>(dcb.XoffChar);

    const uint32_t wire = WireBaud(dcb.BaudRate);
    if (wire == 0) return ERROR_INVALID_PARAMETER;
    out->wireBaud = wire;
    const speed_t code = SpeedConstant(wire);
    out->standardSpeed = code != 0;
    if (code != 0) {
        cfsetispeed(&t, code);
        cfsetospeed(&t, code);
    }
    out->tio = t;
    return ERROR_SUCCESS;
}

Dcb DecodeTermios(const termios& tio, uint32_t customBaud) {
    Dcb d;
    d.BaudRate = customBaud ? customBaud : SpeedValue(cfgetospeed(&tio));
    if (d.BaudRate == 0) d.BaudRate = 9600;
    switch (tio.c_cflag & CSIZE) {
        case CS5:
            d.ByteSize = 5;
            break;
        case CS6:
            d.ByteSize = 6;
            break;
        case CS7:
            d.ByteSize = 7;
            break;
        default:
            d.ByteSize = 8;
            break;
    }
    if (!(tio.c_cflag & PARENB)) {
        d.Parity = NOPARITY;
    } else if (tio.c_cflag & CMSPAR) {
        d.Parity = (tio.c_cflag & PARODD) ? MARKPARITY : SPACEPARITY;
    } else {
        d.Parity = (tio.c_cflag & PARODD) ? ODDPARITY : EVENPARITY;
    }
    if (tio.c_cflag & CSTOPB) d.StopBits = d.ByteSize == 5 ? ONE5STOPBITS : TWOSTOPBITS;
    d.fBinary = true;
    d.fParity = (tio.c_iflag & INPCK) != 0;
    d.fOutxCtsFlow = (tio.c_cflag & CRTSCTS) != 0;
    d.fRtsControl = d.fOutxCtsFlow ? RTS_CONTROL_HANDSHAKE : RTS_CONTROL_ENABLE;
    d.fDtrControl = DTR_CONTROL_ENABLE;
    d.fOutX = (tio.c_iflag & IXON) != 0;
    d.fInX = (tio.c_iflag & IXOFF) != 0;
    d.XonChar = static_cast<char>(tio.c_cc[VSTART]);
    d.XoffChar = static_cast<char>(tio.c_cc[VSTOP]);
    d.XonLim = 0;
    d.XoffLim = 0;
    return d;
}

}  // namespace tolvan::plat
