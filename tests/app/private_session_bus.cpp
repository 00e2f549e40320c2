// Every run of the window tests gets a session bus of its own: the server claims
// well-known names, and CTest runs test programs side by side, so on one shared bus
// the second claimant would be refused.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

class PrivateSessionBus : public ::testing::Environment {
public:
    void SetUp() override {
        int out[2];
        ASSERT_EQ(::pipe(out), 0);
        pid_ = ::fork();
        ASSERT_GE(pid_, 0);
        if (pid_ == 0) {
            ::dup2(out[1], STDOUT_FILENO);
            ::close(out[0]);
            ::close(out[1]);
            ::execlp("dbus-daemon", "dbus-daemon", "--session", "--nofork", "--print-address",
                     static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(out[1]);
        // The daemon prints its address once it listens; a blocking read waits for that.
        std::string address;
        char c = 0;
        while (::read(out[0], &c, 1) == 1 && c != '\n') address.push_back(c);
        ::close(out[0]);
        ASSERT_FALSE(address.empty()) << "dbus-daemon gave no address";
        ::setenv("DBUS_SESSION_BUS_ADDRESS", address.c_str(), 1);
    }

    void TearDown() override {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
        }
    }

private:
    pid_t pid_ = -1;
};

// gtest owns the registered environment.
[[maybe_unused]] ::testing::Environment* const kBus =
    ::testing::AddGlobalTestEnvironment(new PrivateSessionBus);

}  // namespace
