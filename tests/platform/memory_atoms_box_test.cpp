// Movable memory blocks with injected failures, the atom table and the message-box hook.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/atoms.h"
#include "platform/message_box.h"
#include "platform/movable_memory.h"

namespace tolvan::plat {
namespace {

class MovableMemory : public ::testing::Test {
protected:
    void SetUp() override { baseline = GlobalBlockCount(); }
    void TearDown() override {
        MemoryFaults::Reset();
        EXPECT_EQ(GlobalBlockCount(), baseline) << "blocks leaked";
    }
    size_t baseline = 0;
};

TEST_F(MovableMemory, LockCountsAndContents) {
    const HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, 1050);
    ASSERT_NE(h, 0u);
    EXPECT_EQ(GlobalSize(h), 1050u);
    auto* p = static_cast<uint8_t*>(GlobalLock(h));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(std::vector<uint8_t>(p, p + 1050), std::vector<uint8_t>(1050, 0));
    std::memset(p, 0xAB, 1050);
    EXPECT_EQ(GlobalLock(h), p);
    EXPECT_EQ(GlobalLockCount(h), 2u);
    EXPECT_TRUE(GlobalUnlock(h)) << "still locked once";
    EXPECT_FALSE(GlobalUnlock(h));
    EXPECT_FALSE(GlobalUnlock(h)) << "unlocking an unlocked block";
    EXPECT_EQ(GlobalLockCount(h), 0u);
    EXPECT_EQ(GlobalFree(h), 0u);
    EXPECT_EQ(GlobalFree(h), h) << "second free of the same handle";
    EXPECT_EQ(GlobalLock(h), nullptr);
}

TEST_F(MovableMemory, ReAllocKeepsContentsAndZeroFillsTheGrowth) {
    const HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, 4);
    std::memcpy(GlobalLock(h), "abcd", 4);
    // A locked block cannot move.
    EXPECT_EQ(GlobalReAlloc(h, 64, GMEM_MOVEABLE | GMEM_ZEROINIT), 0u);
    EXPECT_EQ(GlobalSize(h), 4u);
    GlobalUnlock(h);
    ASSERT_EQ(GlobalReAlloc(h, 8, GMEM_MOVEABLE | GMEM_ZEROINIT), h);
    auto* p = static_cast<char*>(GlobalLock(h));
    EXPECT_EQ(std::string(p, 8), std::string("abcd\0\0\0\0", 8));
    GlobalUnlock(h);
    ASSERT_EQ(GlobalReAlloc(h, 2, GMEM_MOVEABLE), h);
    EXPECT_EQ(GlobalSize(h), 2u);
    EXPECT_EQ(std::string(static_cast<char*>(GlobalLock(h)), 2), "ab");
    GlobalUnlock(h);
    GlobalFree(h);
}

TEST_F(MovableMemory, InjectedFailures) {
    MemoryFaults::FailAllocations(1, 2);
    const HGLOBAL first = GlobalAlloc(GMEM_MOVEABLE, 10);
    EXPECT_NE(first, 0u);
    EXPECT_EQ(GlobalAlloc(GMEM_MOVEABLE, 10), 0u);
    EXPECT_EQ(GlobalReAlloc(first, 20, GMEM_MOVEABLE), 0u) << "reallocation is an allocation";
    EXPECT_EQ(GlobalSize(first), 10u) << "a failed reallocation leaves the block";
    const HGLOBAL after = GlobalAlloc(GMEM_MOVEABLE, 10);
    EXPECT_NE(after, 0u);

    MemoryFaults::FailLocks(0, 1);
    EXPECT_EQ(GlobalLock(first), nullptr);
    EXPECT_EQ(GlobalLockCount(first), 0u);
    EXPECT_NE(GlobalLock(first), nullptr);
    GlobalUnlock(first);
    GlobalFree(first);
    GlobalFree(after);
}

TEST(Atoms, CountedAndFoundWithoutRegardToCase) {
    ClearAtomTable();
    const ATOM a = GlobalAddAtom("ABORTXFER");
    EXPECT_GE(a, 0xC000);
    EXPECT_EQ(GlobalFindAtom("abortxfer"), a);
    EXPECT_EQ(GlobalAddAtom("AbortXfer"), a);
    EXPECT_EQ(GlobalGetAtomName(a), "ABORTXFER");
    const ATOM b = GlobalAddAtom("other");
    EXPECT_NE(b, a);
    EXPECT_EQ(GlobalDeleteAtom(a), 0);
    EXPECT_EQ(GlobalFindAtom("ABORTXFER"), a) << "one reference left";
    EXPECT_EQ(GlobalDeleteAtom(a), 0);
    EXPECT_EQ(GlobalFindAtom("ABORTXFER"), 0);
    EXPECT_EQ(GlobalDeleteAtom(a), a) << "deleting a missing atom fails";
    EXPECT_EQ(GlobalAddAtom(""), 0);
    EXPECT_EQ(GlobalAddAtom(std::string(256, 'x')), 0);
    EXPECT_NE(GlobalAddAtom(std::string(255, 'x')), 0);
    EXPECT_EQ(GlobalFindAtom(""), 0);
    ClearAtomTable();
    EXPECT_EQ(GlobalFindAtom("other"), 0);
}

TEST(MessageBox, DefaultAnswersAtOnceAndHooksRecord) {
    // Without a hook nothing waits for a user: the harmless answer comes back.
    EXPECT_EQ(ShowMessageBox("ReopenComm: 5"), IDOK);
    EXPECT_EQ(ShowMessageBox("Really?", "", MB_YESNO), IDNO);
    EXPECT_EQ(ShowMessageBox("Go on?", "", MB_OKCANCEL | MB_ICONSTOP), IDCANCEL);
    EXPECT_EQ(ShowMessageBox("Save changes?", "", MB_YESNOCANCEL | MB_ICONQUESTION), IDCANCEL)
        << "unanswered, nothing is saved and nothing thrown away";

    struct Shown {
        std::string text, caption;
        uint32_t flags;
    };
    std::vector<Shown> shown;
    {
        ScopedMessageBoxHook outer(
            [](const std::string&, const std::string&, uint32_t) { return IDCANCEL; });
        {
            ScopedMessageBoxHook hook([&](const std::string& t, const std::string& c, uint32_t f) {
                shown.push_back({t, c, f});
                return IDYES;
            });
            EXPECT_EQ(ShowMessageBox("Invalid state", "Tolvan32", MB_ICONEXCLAMATION), IDYES);
            ASSERT_EQ(shown.size(), 1u);
            EXPECT_EQ(shown[0].text, "Invalid state");
            EXPECT_EQ(shown[0].caption, "Tolvan32");
            EXPECT_EQ(shown[0].flags, MB_ICONEXCLAMATION);
        }
        // The hook before it is back.
        EXPECT_EQ(ShowMessageBox("x", "", MB_YESNO), IDCANCEL);
    }
    EXPECT_EQ(ShowMessageBox("x", "", MB_YESNO), IDNO);
    EXPECT_EQ(shown.size(), 1u);
}

}  // namespace
}  // namespace tolvan::plat
