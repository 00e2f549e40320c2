// A client program of the server: creates a plain channel, lets the user connect it with
// the setup library's sheet, and writes one line with the outcome.
//
//   setup_comm_port [caption] [--fixed]
//
// --fixed leaves out the port page (the channel then goes to COM2). The exit code is 0
// when the channel was connected, 1 otherwise.

#include <tolvan32/client.h>
#include <tolvan32/kerdal32.h>

#include <QApplication>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

// The server's text for a status code, asked from the channel itself.
std::string StatusName(tdbus::DispatchDriver& channel, std::int16_t status) {
    std::string name(64, '\0');
    constexpr std::int32_t kDispGetCommErrorName = 15;
    channel.InvokeHelper(kDispGetCommErrorName, tfw::kDispatchMethod, tdbus::ByteRef(name), status);
    name.resize(std::strlen(name.c_str()));
    return name;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const char* caption = "Connect a channel";
    std::int32_t portFixed = 0;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--fixed") == 0)
            portFixed = 1;
        else
            caption = argv[i];
    }

    tdbus::DispatchDriver channel;
    if (!channel.CreateDispatch(QStringLiteral("RiVo32.Document"))) {
        std::fprintf(stderr, "No channel from the server: %s\n",
                     qPrintable(channel.LastError().message));
        return 1;
    }

    const std::int16_t status = SetupCommPort(&channel, caption, portFixed);
    if (status == kerdal::kSetupCallFailed && channel.LastError().IsError()) {
        std::printf("SetupCommPort: the channel did not answer (%s)\n",
                    qPrintable(channel.LastError().message));
        return 1;
    }

    std::int32_t baud = 0;
    std::int16_t parity = 0, wordLength = 0, stopBits = 0;
    constexpr std::int32_t kDispGetPortSettings = 20;
    constexpr std::int32_t kDispGetPortNumber = 21;
    bool connected = false;
    if (status == 0) {
        const tfw::Variant known = channel.InvokeHelper(kDispGetPortSettings, tfw::kDispatchMethod,
                                                        &baud, &parity, &wordLength, &stopBits);
        connected = known.Type() == tfw::VarType::Bool && known.AsBool();
    }
    if (connected) {
        const tfw::Variant number = channel.InvokeHelper(kDispGetPortNumber, tfw::kDispatchMethod);
        const int port = number.Type() == tfw::VarType::I2 ? number.AsI2() : 0;
        std::printf("SetupCommPort: connected to COM%d at %d baud, %c, %d, %d\n", port, baud,
                    static_cast<char>(parity), wordLength, stopBits);
    } else {
        std::printf("SetupCommPort: status %d (%s)\n", status, StatusName(channel, status).c_str());
    }
    return connected ? 0 : 1;
}
