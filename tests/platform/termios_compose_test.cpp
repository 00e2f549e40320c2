// The termios settings composed for a Dcb, checked as values for every parity, word
// length, stop-bit and handshake combination (a pty cannot show most of them).
#include <gtest/gtest.h>

#include "platform/termios_compose.h"

namespace tolvan::plat {
namespace {

termios CookedBase() {
    // A terminal as a login shell leaves it: canonical, echoing, translating.
    termios t{};
    t.c_iflag = ICRNL | IXON | BRKINT | IMAXBEL | ISTRIP;
    t.c_oflag = OPOST | ONLCR;
    t.c_lflag = ICANON | ECHO | ECHOE | ISIG | IEXTEN;
    t.c_cflag = CS7 | PARENB | CSTOPB | HUPCL;
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 5;
    cfsetspeed(&t, B300);
    return t;
}

TEST(TermiosCompose, EveryLineAndHandshakeCombination) {
    const uint8_t parities[] = {NOPARITY, ODDPARITY, EVENPARITY, MARKPARITY, SPACEPARITY};
    const tcflag_t sizes[] = {CS5, CS6, CS7, CS8};
    for (uint8_t bits = 5; bits <= 8; ++bits)
        for (uint8_t parity : parities)
            for (uint8_t stop : {ONESTOPBIT, TWOSTOPBITS})
                for (bool rtscts : {false, true})
                    for (bool xon : {false, true}) {
                        Dcb d;
                        d.BaudRate = 9600;
                        d.ByteSize = bits;
                        d.Parity = parity;
                        d.StopBits = stop;
                        d.fOutxCtsFlow = rtscts;
                        d.fRtsControl = rtscts ? RTS_CONTROL_HANDSHAKE : RTS_CONTROL_ENABLE;
                        d.fOutX = d.fInX = xon;
                        d.fParity = true;
                        SCOPED_TRACE(testing::Message()
                                     << int(bits) << " bits, parity " << int(parity) << ", stop "
                                     << int(stop) << ", rtscts " << rtscts << ", xon " << xon);
                        ComposedTermios c;
                        const uint32_t e = ComposeTermios(CookedBase(), d, &c);
                        if (bits == 5 && stop == TWOSTOPBITS) {
                            EXPECT_EQ(e, ERROR_INVALID_PARAMETER);
                            continue;
                        }
                        ASSERT_EQ(e, ERROR_SUCCESS);
                        const termios& t = c.tio;
                        EXPECT_EQ(t.c_cflag & CSIZE, sizes[bits - 5]);
                        EXPECT_EQ(bool(t.c_cflag & PARENB), parity != NOPARITY);
                        EXPECT_EQ(bool(t.c_cflag & PARODD),
                                  parity == ODDPARITY || parity == MARKPARITY);
                        EXPECT_EQ(bool(t.c_cflag & CMSPAR),
                                  parity == MARKPARITY || parity == SPACEPARITY);
                        EXPECT_EQ(bool(t.c_iflag & INPCK), parity != NOPARITY);
                        EXPECT_EQ(bool(t.c_cflag & CSTOPB), stop == TWOSTOPBITS);
                        EXPECT_EQ(bool(t.c_cflag & CRTSCTS), rtscts);
                        EXPECT_EQ(bool(t.c_iflag & IXON), xon);
                        EXPECT_EQ(bool(t.c_iflag & IXOFF), xon);
                        EXPECT_FALSE(t.c_iflag & IXANY);
                        // Raw, non-blocking, receiver on, no modem control for opening.
                        EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ECHOE | ISIG | IEXTEN), 0u);
                        EXPECT_EQ(t.c_iflag & (ICRNL | ISTRIP | BRKINT | IGNBRK | PARMRK), 0u);
                        EXPECT_EQ(t.c_oflag & OPOST, 0u);
                        EXPECT_TRUE((t.c_cflag & (CREAD | CLOCAL)) == (CREAD | CLOCAL));
                        EXPECT_EQ(t.c_cc[VMIN], 0);
                        EXPECT_EQ(t.c_cc[VTIME], 0);
                        EXPECT_EQ(t.c_cc[VSTART], 0x11);
                        EXPECT_EQ(t.c_cc[VSTOP], 0x13);
                        EXPECT_EQ(cfgetospeed(&t), B9600);
                        EXPECT_EQ(cfgetispeed(&t), B9600);
                        // Reading the settings back gives the same line.
                        const Dcb back = DecodeTermios(t);
                        EXPECT_EQ(back.ByteSize, bits);
                        EXPECT_EQ(back.Parity, parity);
                        EXPECT_EQ(back.StopBits, stop);
                        EXPECT_EQ(back.fOutxCtsFlow, rtscts);
                        EXPECT_EQ(back.fOutX, xon);
                    }
}

TEST(TermiosCompose, RtsHandshakeAloneTurnsOnHardwareFlow) {
    Dcb d;
    d.fRtsControl = RTS_CONTROL_HANDSHAKE;
    ComposedTermios c;
    ASSERT_EQ(ComposeTermios(termios{}, d, &c), ERROR_SUCCESS);
    EXPECT_TRUE(c.tio.c_cflag & CRTSCTS);
    // DSR flow has no termios counterpart: nothing changes for it.
    Dcb dsr;
    dsr.fOutxDsrFlow = true;
    dsr.fDtrControl = DTR_CONTROL_HANDSHAKE;
    ASSERT_EQ(ComposeTermios(termios{}, dsr, &c), ERROR_SUCCESS);
    EXPECT_FALSE(c.tio.c_cflag & CRTSCTS);
}

TEST(TermiosCompose, ParityCheckingOnlyWhenAskedAndParityIsOn) {
    Dcb d;
    d.Parity = EVENPARITY;
    d.fParity = false;
    ComposedTermios c;
    ASSERT_EQ(ComposeTermios(termios{}, d, &c), ERROR_SUCCESS);
    EXPECT_FALSE(c.tio.c_iflag & INPCK);
    d.Parity = NOPARITY;
    d.fParity = true;
    ASSERT_EQ(ComposeTermios(termios{}, d, &c), ERROR_SUCCESS);
    EXPECT_FALSE(c.tio.c_iflag & INPCK);
}

TEST(TermiosCompose, BaudRates) {
    struct Case {
        uint32_t dcb;
        uint32_t wire;
        speed_t code;  // 0: custom rate
    };
    for (const Case& k :
         {Case{110, 110, B110}, Case{57600, 57600, B57600}, Case{57601, 115200, B115200},
          Case{115200, 115200, B115200}, Case{230400, 230400, B230400}, Case{31250, 31250, 0},
          Case{250000, 250000, 0}, Case{14400, 14400, 0}}) {
        Dcb d;
        d.BaudRate = k.dcb;
        ComposedTermios c;
        ASSERT_EQ(ComposeTermios(termios{}, d, &c), ERROR_SUCCESS) << k.dcb;
        EXPECT_EQ(c.wireBaud, k.wire) << k.dcb;
        EXPECT_EQ(c.standardSpeed, k.code != 0) << k.dcb;
        if (k.code) {
            EXPECT_EQ(cfgetospeed(&c.tio), k.code) << k.dcb;
        }
    }
    Dcb zero;
    zero.BaudRate = 0;
    ComposedTermios c;
    EXPECT_EQ(ComposeTermios(termios{}, zero, &c), ERROR_INVALID_PARAMETER);
}

TEST(TermiosCompose, ValuesTheHardwareCannotMakeAreRefused) {
    ComposedTermios c;
    for (uint8_t bits : {0, 4, 9, 16}) {
        Dcb d;
        d.ByteSize = bits;
        EXPECT_EQ(ComposeTermios(termios{}, d, &c), ERROR_INVALID_PARAMETER) << int(bits);
    }
    Dcb parity;
    parity.Parity = 5;
    EXPECT_EQ(ComposeTermios(termios{}, parity, &c), ERROR_INVALID_PARAMETER);
    Dcb stop;
    stop.StopBits = 3;
    EXPECT_EQ(ComposeTermios(termios{}, stop, &c), ERROR_INVALID_PARAMETER);
    Dcb oneAndHalf;
    oneAndHalf.StopBits = ONE5STOPBITS;
    EXPECT_EQ(ComposeTermios(termios{}, oneAndHalf, &c), ERROR_INVALID_PARAMETER);
    oneAndHalf.ByteSize = 5;
    ASSERT_EQ(ComposeTermios(termios{}, oneAndHalf, &c), ERROR_SUCCESS);
    EXPECT_TRUE(c.tio.c_cflag & CSTOPB);
}

TEST(TermiosCompose, XonXoffCharactersAreTaken) {
    Dcb d;
    d.XonChar = 'Q';
    d.XoffChar = 'S';
    ComposedTermios c;
    ASSERT_EQ(ComposeTermios(termios{}, d, &c), ERROR_SUCCESS);
    EXPECT_EQ(c.tio.c_cc[VSTART], 'Q');
    EXPECT_EQ(c.tio.c_cc[VSTOP], 'S');
}

}  // namespace
}  // namespace tolvan::plat
