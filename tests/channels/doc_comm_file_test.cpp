// The .ccf file of a channel: not connected, connected, settings that cannot be read,
// files cut short, and a round trip that reconnects.
#include "tests/channels/doc_comm_fixture.h"

#include "setup/records/comm_param.h"
#include "tests/support/xmodem_sender.h"

namespace tolvan::commtest {
namespace {

using test::ReadFileBytes;
using test::WriteFileBytes;

class DocCommFileTest : public DocCommTest {};

TEST_F(DocCommFileTest, NotConnectedStoresExactlyFFFF) {
    ASSERT_TRUE(a->OnSaveDocument(File("idle.ccf")));
    EXPECT_EQ(ReadFileBytes(File("idle.ccf")), (Bytes{0xFF, 0xFF}));
    ASSERT_TRUE(b->OnOpenDocument(File("idle.ccf")));
    EXPECT_FALSE(b->IsConnected());
}

TEST_F(DocCommFileTest, ConnectedRoundTripReconnects) {
    ASSERT_EQ(a->ConnectToPort(kCom, 19200, 'N', 8, 2), 0);
    ASSERT_TRUE(a->OnSaveDocument(File("c.ccf")));
    EXPECT_EQ(ReadFileBytes(File("c.ccf")),
              (Bytes{0x02, 0x00, 0x00, 0x4B, 0x00, 0x00, 'N', 0x08, 0x00, 0x02, 0x00}));
    a->CloseConnection();
    ASSERT_FALSE(Port().IsOpen());

    ASSERT_TRUE(b->OnOpenDocument(File("c.ccf")));
    ASSERT_TRUE(b->IsConnected());
    EXPECT_EQ(LineOf(*b), "19200,N,8,2");
}

TEST_F(DocCommFileTest, ZeroBaudLoadsWithTheLibrarysCurrentParameters) {
    AndCommParam* param = DLLGetCommParam();
    ASSERT_NE(param, nullptr);
    const AndCommParam saved = *param;
    param->SetCurBaudRate(4800);
    param->SetCurParity('N');
    param->SetCurWrdLen(8);
    param->SetCurStopBit(1);

    WriteFileBytes(File("z.ccf"), Bytes{0x02, 0x00, 0x00, 0x00, 0x00, 0x00});
    ASSERT_TRUE(a->OnOpenDocument(File("z.ccf")));
    ASSERT_TRUE(a->IsConnected());
    EXPECT_EQ(LineOf(*a), "4800,N,8,1");
    *param = saved;
}

TEST_F(DocCommFileTest, SpaceParityStoresAZeroBaud) {
    // Whether a pty takes space parity depends on the kernel; the stored form is what
    // matters when the settings cannot be read back.
    if (a->ConnectToPort(kCom, 9600, 'S', 8, 1) != 0) GTEST_SKIP() << "pty refuses space parity";
    ASSERT_EQ(LineOf(*a), "") << "space parity has no letter";
    ASSERT_TRUE(a->OnSaveDocument(File("s.ccf")));
    EXPECT_EQ(ReadFileBytes(File("s.ccf")), (Bytes{0x02, 0x00, 0x00, 0x00, 0x00, 0x00}));
}

TEST_F(DocCommFileTest, DamagedFilesLoadNotConnected) {
    const std::vector<Bytes> files = {
        {},                                                     // empty
        {0x02},                                                 // half a port word
        {0x02, 0x00, 0x80, 0x25},                               // baud cut short
        {0x02, 0x00, 0x80, 0x25, 0x00, 0x00, 'N'},              // settings cut short
        {0x09, 0x00, 0x80, 0x25, 0x00, 0x00, 'N', 8, 0, 1, 0},  // no such port
    };
    for (size_t i = 0; i < files.size(); ++i) {
        const std::string path = File("bad" + std::to_string(i) + ".ccf");
        WriteFileBytes(path, files[i]);
        a->OnOpenDocument(path);
        EXPECT_FALSE(a->IsConnected()) << "file " << i;
    }
    EXPECT_FALSE(Port().IsOpen());
}

}  // namespace
}  // namespace tolvan::commtest
