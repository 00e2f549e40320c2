// Channel menus on a real pty mapped to COM2, driven through their real dialogs and sheets:
// the message boxes they show are recorded and answered with `answer`, and the library's
// current line parameters are put back after each test.
#pragma once

#include "app/command_target.h"
#include "platform/message_box.h"
#include "platform/ticks.h"
#include "setup/records/comm_param.h"
#include "tests/support/mapped_port.h"
#include "tests/support/pty_pair.h"

#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace tolvan::app {

// Runs `drive` on the first modal widget of type D that comes up while this object lives.
template <class D>
class WhenModal {
public:
    explicit WhenModal(std::function<void(D&)> drive) {
        QObject::connect(&timer_, &QTimer::timeout, [this, drive] {
            if (auto* dialog = qobject_cast<D*>(QApplication::activeModalWidget())) {
                timer_.stop();
                ran = true;
                drive(*dialog);
            }
        });
        timer_.start(1);
    }
    bool ran = false;

private:
    QTimer timer_;
};

// The control with resource id `id` below `parent`; fails the test when missing.
template <class T>
T* Control(QWidget& parent, int id) {
    T* w = parent.findChild<T*>(QString::number(id));
    EXPECT_NE(w, nullptr) << "control " << id;
    return w;
}

class ChannelMenuTest : public ::testing::Test {
protected:
    static constexpr std::int16_t kCom = 2;

    void SetUp() override {
        saved_ = *DLLGetCommParam();
        ASSERT_EQ(port.Map(kCom, pty.slavePath(), locks.path()), 1);
        previousHook_ = plat::SetMessageBoxHook(
            [this](const std::string& text, const std::string&, std::uint32_t flags) {
                messages.push_back(text);
                flags_.push_back(flags);
                return answer;
            });
    }
    // A derived fixture closes its channels first, then calls this.
    void TearDown() override {
        plat::SetMessageBoxHook(previousHook_);
        *DLLGetCommParam() = saved_;
    }

    static bool Enabled(CommandTarget& target, int id) {
        CommandState state;
        EXPECT_TRUE(target.UpdateCommand(id, state)) << id;
        return state.enabled;
    }
    // Everything the far end got so far (waits until the line is quiet for 50 ms).
    std::string FarEndGot() {
        auto bytes = pty.ReadAvailable(50);
        return {bytes.begin(), bytes.end()};
    }

    plat::FakeTickSource ticks{1000, std::chrono::microseconds(300)};
    plat::ScopedTickSource useTicks{ticks};
    test::ScratchDir locks;
    test::PtyPair pty;
    test::MappedPort port;
    PortRegistry& registry = port.registry;
    std::vector<std::string> messages;
    std::vector<std::uint32_t> flags_;
    int answer = plat::IDYES;

private:
    AndCommParam saved_;
    plat::MessageBoxHook previousHook_;
};

}  // namespace tolvan::app
