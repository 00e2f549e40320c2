// Connecting channels to a shared pty port: sharing received bytes, titles, closing,
// buffer sizes, the write lock, view hints, client references and the member table.
#include "tests/channels/doc_comm_fixture.h"

#include <cstring>

#include "automation/contract/comm_members.h"
#include "framework/dispatch_variant.h"
#include "framework/doc_template.h"
#include "ports/shared_port.h"

namespace tolvan::commtest {
namespace {

TEST_F(DocCommTest, TwoChannelsOnOnePortEachSeeEveryByte) {
    ASSERT_TRUE(ConnectBoth());
    ASSERT_TRUE(pty.Write("hello"));
    ASSERT_TRUE(Holds(*a, 5));
    EXPECT_EQ(b->SpaceUsedInRXBuffer(), 5);

    Bytes got(5);
    ASSERT_EQ(a->ReadFromPort(got, 5), 5);
    EXPECT_EQ(got, B("hello"));
    EXPECT_EQ(a->SpaceUsedInRXBuffer(), 0);
    EXPECT_EQ(b->SpaceUsedInRXBuffer(), 5);  // reading in one leaves the other
    Bytes other(5);
    EXPECT_EQ(b->ReadFromPort(other, 5), 5);
    EXPECT_EQ(other, B("hello"));

    // Both write to the same line.
    Bytes x = B("ab");
    EXPECT_EQ(a->WriteToPort(x, 2), 2);
    Bytes y = B("cd");
    EXPECT_EQ(b->WriteToPort(y, 2), 2);
    EXPECT_EQ(FarEndGot(), "abcd");
}

TEST_F(DocCommTest, ClosingOneOfTwoKeepsThePortOpenClosingBothClosesIt) {
    ASSERT_TRUE(ConnectBoth());
    EXPECT_EQ(a->CloseConnection(), 0);
    EXPECT_FALSE(a->IsConnected());
    EXPECT_TRUE(Port().IsOpen());
    EXPECT_TRUE(b->IsConnected());
    ASSERT_TRUE(pty.Write("z"));
    EXPECT_TRUE(Holds(*b, 1));
    EXPECT_EQ(b->CloseConnection(), 0);
    EXPECT_FALSE(Port().IsOpen());

    // A channel that goes away detaches too.
    ASSERT_EQ(a->ConnectToPort(kCom, 9600, 'N', 8, 1), 0);
    a.reset();
    EXPECT_FALSE(Port().IsOpen());
}

TEST_F(DocCommTest, TitleFollowsConnectionAndLineSettings) {
    a->SetTitle("RiVo321");
    EXPECT_EQ(a->GetTitle(), "Not Connected. Name: RiVo321");
    ASSERT_EQ(a->ConnectToPort(kCom, 9600, 'N', 8, 1), 0);
    EXPECT_EQ(a->GetTitle(), "COM2:9600,N,8,1. Name: RiVo321");

    // A second channel with other settings changes the port, and so both titles.
    b->SetTitle("RiVo322");
    ASSERT_EQ(b->ConnectToPort(kCom, 19200, 'N', 8, 2), 0);
    EXPECT_EQ(a->GetTitle(), "COM2:19200,N,8,2. Name: RiVo321");
    EXPECT_EQ(b->GetTitle(), "COM2:19200,N,8,2. Name: RiVo322");
    EXPECT_EQ(a->SetParam(4800, 'N', 8, 1), 0);
    EXPECT_EQ(b->GetTitle(), "COM2:4800,N,8,1. Name: RiVo322");
    EXPECT_EQ(LineOf(*b), "4800,N,8,1");
    EXPECT_EQ(a->GetPortNumber(), kCom);

    EXPECT_EQ(a->CloseConnection(), 0);
    EXPECT_EQ(a->GetTitle(), "Not Connected. Name: RiVo321");
    // Only the part after the last blank survives a refresh.
    a->SetTitle("two words");
    a->RefreshTitle();
    EXPECT_EQ(a->GetTitle(), "Not Connected. Name: words");
}

TEST_F(DocCommTest, FailedConnectsChangeNothing) {
    EXPECT_EQ(a->ConnectToPort(5, 9600, 'N', 8, 1), kStatusInvalidPort);
    EXPECT_FALSE(a->IsConnected());
    EXPECT_EQ(a->SetParam(9600, 'N', 8, 1), kStatusNotSetUp);
    EXPECT_EQ(a->GetPortError(), kStatusNotSetUp);
    int32_t baud = 77;
    int16_t parity = 1, bits = 2, stops = 3;
    EXPECT_FALSE(a->GetPortSettings(baud, parity, bits, stops));
    EXPECT_EQ(baud, 77);  // outputs untouched

    // A failed connect to a missing port leaves a connected channel where it was.
    ASSERT_EQ(a->ConnectToPort(kCom, 9600, 'N', 8, 1), 0);
    EXPECT_EQ(a->ConnectToPort(7, 9600, 'N', 8, 1), kStatusInvalidPort);
    EXPECT_EQ(a->GetPortNumber(), kCom);
}

TEST_F(DocCommTest, BufferSizesAndDefaults) {
    ASSERT_TRUE(ConnectBoth());
    EXPECT_EQ(a->GetTBuffSize(), 1050);
    EXPECT_EQ(a->GetRBuffSize(), 1050);

    a->SetDefBufSize(300, 400);  // ports already open keep their rings
    EXPECT_EQ(a->GetRBuffSize(), 1050);

    ASSERT_TRUE(pty.Write("abc"));
    ASSERT_TRUE(Holds(*b, 3));
    a->SetRBuffSize(2000);  // resizing empties every channel's view of that ring
    EXPECT_EQ(b->GetRBuffSize(), 2000);
    EXPECT_EQ(b->SpaceUsedInRXBuffer(), 0);
    a->SetTBuffSize(-5);  // would read as a huge ring
    EXPECT_EQ(a->GetTBuffSize(), 1050);
    a->SetTBuffSize(0);
    EXPECT_EQ(a->GetTBuffSize(), 1050);

    // The new defaults apply when the port opens again.
    a->CloseConnection();
    b->CloseConnection();
    ASSERT_EQ(a->ConnectToPort(kCom, 9600, 'N', 8, 1), 0);
    EXPECT_EQ(a->GetRBuffSize(), 300);
    EXPECT_EQ(a->GetTBuffSize(), 400);
    // A size of 0 or less keeps that default; the other one still changes.
    a->SetDefBufSize(-1, 500);
    EXPECT_EQ(registry.DefaultSizes().rx, 300u);
    EXPECT_EQ(registry.DefaultSizes().tx, 500u);
    EXPECT_EQ(a->SpaceFreeInTXBuffer(), 400);
}

TEST_F(DocCommTest, WritesUnderAnotherChannelsLockStoreNothing) {
    ASSERT_TRUE(ConnectBoth());
    a->LockPort();
    a->LockPort();
    Bytes text = B("xyz");
    EXPECT_EQ(b->WriteToPort(text, 3), 0);
    EXPECT_EQ(b->WriteCharToPort('q'), 0);
    EXPECT_EQ(b->SpaceUsedInTXBuffer(), 0);
    b->LockPort();                          // refused while a holds it
    b->UnlockPort();                        // not the owner: nothing
    EXPECT_EQ(a->WriteToPort(text, 3), 3);  // the owner still writes
    EXPECT_EQ(FarEndGot(), "xyz");

    a->UnlockPort();  // one of two levels
    EXPECT_EQ(b->WriteCharToPort('q'), 0);
    EXPECT_EQ(FarEndGot(), "");
    // Closing the connection drops every level at once.
    a->CloseConnection();
    EXPECT_EQ(b->WriteCharToPort('q'), 1);
    EXPECT_EQ(FarEndGot(), "q");
}

TEST_F(DocCommTest, ViewsGetTheHintOfEachChange) {
    HintLog log;
    a->AddView(&log);
    ASSERT_EQ(a->ConnectToPort(kCom, 9600, 'N', 8, 1), 0);
    ASSERT_TRUE(pty.Write("k"));
    ASSERT_TRUE(Holds(*a, 1));
    Bytes one(1);
    a->ReadFromPort(one, 1);
    a->ReadFromPort(one, 1);  // nothing read: no hint
    a->WriteCharToPort('w');
    a->SetTBuffSize(600);
    a->ClearRBuff();
    a->ClearTBuff();
    a->CloseConnection();
    EXPECT_EQ(log.hints,
              (std::vector<long>{kHintAll, kHintReceive, kHintTransmit, kHintAll, kHintSizes,
                                 kHintReceive, kHintTransmit, kHintDisconnected}));
    a->RemoveView(&log);
}

TEST_F(DocCommTest, ClientReferencesKeepTheFrameAndSaveNeverAsks) {
    EXPECT_TRUE(a->CanCloseFrame(true));
    a->AddRef();  // as a transfer thread or a client holds it
    EXPECT_FALSE(a->CanCloseFrame(true));
    a->SetModifiedFlag(true);
    EXPECT_TRUE(a->SaveModified());
    a->Release();
    EXPECT_TRUE(a->CanCloseFrame(true));
    EXPECT_EQ(a->GetRefCount(), 1u);
}

TEST_F(DocCommTest, ClientHeldChannelOutlivesItsClose) {
    tfw::CDocTemplate tmpl(0, CDocComm::Class());
    auto* doc = static_cast<CDocComm*>(tmpl.CreateNewDocument());
    ASSERT_NE(doc, nullptr);
    ASSERT_EQ(doc->ConnectToPort(kCom, 9600, 'N', 8, 1), 0);
    doc->ExternalAddRef();
    doc->OnCloseDocument();  // e.g. the window went while a client holds the channel
    ASSERT_EQ(tmpl.GetDocuments().size(), 1u);
    EXPECT_TRUE(doc->GetAutoDelete());
    EXPECT_TRUE(doc->IsConnected());

    // A release posted elsewhere happens only when the poster runs it.
    std::vector<std::function<void()>> posted;
    CDocComm::SetReleasePoster(
        [&](std::function<void()> release) { posted.push_back(std::move(release)); });
    doc->AddRef();
    doc->Release();
    EXPECT_EQ(doc->GetRefCount(), 3u);
    ASSERT_EQ(posted.size(), 1u);
    posted[0]();
    EXPECT_EQ(doc->GetRefCount(), 2u);
    CDocComm::SetReleasePoster(nullptr);

    // The last client going closes it, and the port with it.
    doc->ExternalRelease();
    EXPECT_TRUE(tmpl.GetDocuments().empty());
    EXPECT_FALSE(Port().IsOpen());
}

TEST_F(DocCommTest, TextsFitTheCallersBuffer) {
    std::vector<uint8_t> buf(16, 0xEE);
    a->GetAvailableCOMM(std::span(buf).first(8));
    EXPECT_STREQ(reinterpret_cast<const char*>(buf.data()), "COM2");

    std::fill(buf.begin(), buf.end(), 0xEE);
    a->GetAvailableCOMM(std::span(buf).first(3));
    EXPECT_EQ(std::memcmp(buf.data(), "CO\0", 3), 0);
    EXPECT_EQ(buf[3], 0xEE);

    std::fill(buf.begin(), buf.end(), 0xEE);
    a->GetCommErrorName(std::span(buf).first(8), 0);
    EXPECT_STREQ(reinterpret_cast<const char*>(buf.data()), "Success");
    std::fill(buf.begin(), buf.end(), 0xEE);
    a->GetCommErrorName(std::span(buf).first(5), -10);
    EXPECT_EQ(std::memcmp(buf.data(), "Time\0", 5), 0);
    EXPECT_EQ(buf[5], 0xEE);
    std::vector<uint8_t> big(40, 0xEE);
    a->GetCommErrorName(big, 12345);
    EXPECT_STREQ(reinterpret_cast<const char*>(big.data()), "Unknown error code");
    a->GetCommErrorName({}, 0);  // nothing to write into: nothing written
}

TEST_F(DocCommTest, MemberTableReachesTheChannel) {
    EXPECT_EQ(CDocComm::CommDispatchClass().CheckBindings(), "");
    std::vector<tfw::Variant> args{tfw::Variant::I2(kCom), tfw::Variant::I4(9600),
                                   tfw::Variant::I2('N'), tfw::Variant::I2(8), tfw::Variant::I2(1)};
    tfw::Variant result;
    ASSERT_EQ(tfw::Invoke(*a, kDispConnectToPort, 1, args, result), tfw::DispatchStatus::Ok);
    EXPECT_EQ(result.AsI2(), 0);
    EXPECT_TRUE(a->IsConnected());
    tfw::Variant number;
    ASSERT_EQ(tfw::Invoke(*a, kDispGetPortNumber, 1, {}, number), tfw::DispatchStatus::Ok);
    EXPECT_EQ(number.AsI2(), kCom);
}

}  // namespace
}  // namespace tolvan::commtest
