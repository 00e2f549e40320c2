// Client-side dispatch driver: creates channels by automation name and calls their members
// by dispatch identifier over D-Bus (Tolvan32.ClassFactory, Tolvan32.Dispatch,
// Tolvan32.Unknown). Used by the setup library's Setup... functions and client programs.
//
//   tdbus::DispatchDriver channel;
//   if (!channel.CreateDispatch("RiVo32.Document")) ...;        // starts the server if needed
//   int16_t status = channel.InvokeHelper(3, tfw::kDispatchMethod,
//                        int16_t(2), int32_t(9600), int16_t('N'), int16_t(8), int16_t(1)).AsI2();
//   std::vector<uint8_t> buffer(10);
//   channel.InvokeHelper(4, tfw::kDispatchMethod, tdbus::ByteRef(buffer), int16_t(10));
//
// Argument types by C++ type: int16_t I2, int32_t I4, bool BOOL, const char* /
// std::string / QString string by value, ByteRef(buffer) string by reference (the bytes go
// in, come back changed, and keep their length), int16_t* / int32_t* / bool* by-reference
// integers and booleans (value in, new value out).
//
// Failures of the call itself (no server, unknown identifier, wrong argument count or type)
// give an empty result and are described by LastError(); the driver never throws.
//
// Members that wait before they answer (timed reads, modem commands) get a reply time-out
// beyond their wait (automation/contract/call_timeout.h), so a long wait the caller asked
// for does not end in a "no reply" error.
#pragma once

#include "automation/client/client_export.h"
#include "automation/contract/call_timeout.h"
#include "framework/dispatch_class.h"
#include "framework/dispatch_variant.h"

#include <QDBusConnection>
#include <QString>

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

class QObject;

namespace tdbus {

// A byte buffer passed by reference.
class ByteRef {
public:
    explicit ByteRef(std::vector<std::uint8_t>& bytes) : data_(bytes.data()), size_(bytes.size()) {}
    explicit ByteRef(std::string& bytes)
        : data_(reinterpret_cast<std::uint8_t*>(bytes.data())), size_(bytes.size()) {}
    std::span<std::uint8_t> Bytes() const { return {data_, size_}; }

private:
    std::uint8_t* data_;
    std::size_t size_;
};

struct DispatchError {
    QString name;  // D-Bus error name, e.g. "Tolvan32.Error.TypeMismatch"; empty: no error
    QString message;
    bool IsError() const { return !name.isEmpty(); }
};

// Invoke's time-out argument: the one CallTimeoutMs gives for the member and arguments.
constexpr int kMemberCallTimeout = -1;

namespace driver_detail {
inline tfw::Variant MakeArg(std::int16_t v) {
    return tfw::Variant::I2(v);
}
inline tfw::Variant MakeArg(std::int32_t v) {
    return tfw::Variant::I4(v);
}
inline tfw::Variant MakeArg(bool v) {
    return tfw::Variant::Bool(v);
}
inline tfw::Variant MakeArg(const char* v) {
    return tfw::Variant::String(v ? v : "");
}
inline tfw::Variant MakeArg(const std::string& v) {
    return tfw::Variant::String(v);
}
TOLVAN32_CLIENT_API tfw::Variant MakeArg(const QString& v);
TOLVAN32_CLIENT_API tfw::Variant MakeArg(const ByteRef& v);
inline tfw::Variant MakeArg(std::int16_t* v) {
    return tfw::Variant::I2Ref(*v);
}
inline tfw::Variant MakeArg(std::int32_t* v) {
    return tfw::Variant::I4Ref(*v);
}
inline tfw::Variant MakeArg(bool* v) {
    return tfw::Variant::BoolRef(*v);
}

template <class T>
void WriteBack(const T&, const tfw::Variant&) {}
TOLVAN32_CLIENT_API void WriteBack(const ByteRef& ref, const tfw::Variant& v);
TOLVAN32_CLIENT_API void WriteBack(std::int16_t* const& out, const tfw::Variant& v);
TOLVAN32_CLIENT_API void WriteBack(std::int32_t* const& out, const tfw::Variant& v);
TOLVAN32_CLIENT_API void WriteBack(bool* const& out, const tfw::Variant& v);
}  // namespace driver_detail

class TOLVAN32_CLIENT_API DispatchDriver {
public:
    DispatchDriver();  // the session bus
    explicit DispatchDriver(const QDBusConnection& connection);
    ~DispatchDriver();  // releases the object
    DispatchDriver(const DispatchDriver&) = delete;
    DispatchDriver& operator=(const DispatchDriver&) = delete;

    // Creates a new object through the class factory of the automation name
    // ("RiVo32.Document", "DaRi32.Document", "ViDA.Document"); the bus starts the server
    // when none runs. The driver holds the one reference the factory gives. Releases a
    // previous object first.
    bool CreateDispatch(const QString& progId);
    // Drives an existing object and takes a reference of its own on it (AddRef).
    bool AttachDispatch(const QString& service, const QString& path);
    // Gives the reference back (Release); harmless when none is held.
    void ReleaseDispatch();

    bool IsAttached() const { return !path_.isEmpty(); }
    const QString& Service() const { return service_; }
    const QString& Path() const { return path_; }
    QDBusConnection Connection() const { return connection_; }

    std::optional<std::int32_t> GetIDOfName(const QString& name);

    // Calls a member; by-reference arguments are written back after a successful call.
    // The reply is awaited as long as the member may wait (CallTimeoutMs).
    template <class... A>
    tfw::Variant InvokeHelper(std::int32_t dispid, std::uint16_t flags, A&&... args) {
        return InvokeWithTimeout(kMemberCallTimeout, dispid, flags, std::forward<A>(args)...);
    }

    // With a wait the caller knows better (say, a modem whose work mode it set): the reply
    // is awaited `waitMs` longer than the bus's usual 25 s.
    template <class... A>
    tfw::Variant InvokeHelperWaiting(int waitMs, std::int32_t dispid, std::uint16_t flags,
                                     A&&... args) {
        return InvokeWithTimeout(kDefaultCallTimeoutMs + (waitMs > 0 ? waitMs : 0), dispid, flags,
                                 std::forward<A>(args)...);
    }

    // The generic call: `args` in declared order; by-reference ones are replaced by their
    // values after the call. False on failure (LastError()). timeoutMs: how long to await
    // the reply; kMemberCallTimeout: as long as the member may wait.
    bool Invoke(std::int32_t dispid, std::uint16_t flags, std::vector<tfw::Variant>& args,
                tfw::Variant& result, int timeoutMs = kMemberCallTimeout);

    tfw::Variant GetProperty(std::int32_t dispid);
    bool SetProperty(std::int32_t dispid, tfw::Variant value);

    // Delivers Tolvan32.Transfer.XferProgress(short window, int wParam, int lParam) of this
    // object to `slot` of `receiver` (the receiver's thread must run an event loop).
    bool ConnectXferProgress(QObject* receiver, const char* slot);

    const DispatchError& LastError() const { return error_; }

private:
    template <class... A>
    tfw::Variant InvokeWithTimeout(int timeoutMs, std::int32_t dispid, std::uint16_t flags,
                                   A&&... args) {
        std::vector<tfw::Variant> values;
        values.reserve(sizeof...(A));
        (values.push_back(driver_detail::MakeArg(args)), ...);
        tfw::Variant result;
        if (!Invoke(dispid, flags, values, result, timeoutMs)) return {};
        std::size_t i = 0;
        (driver_detail::WriteBack(args, values[i++]), ...);
        (void)i;
        return result;
    }

    bool SetErrorFrom(const class QDBusMessage& reply);

    QDBusConnection connection_;
    QString service_;
    QString path_;
    DispatchError error_;
};

}  // namespace tdbus
