// Late-bound calls with arbitrary identifiers, flags and argument lists on the channel's member
// table, as a D-Bus client could send them. The target binds every row to an operation that
// records the call and checks what it was given.
//
// What must hold: a call reaches the target exactly when the identifier names a row of the
// class seen, the flags are a valid way to use it, the argument count fits and every argument
// is of the declared type or converts to it (I2 <-> I4 within range, integers to BOOL;
// strings and by-reference arguments only as they are). The target then gets the declared
// types with the caller's values, and what it writes through a by-reference argument comes
// back to the caller. A call that does not fit reaches nothing, leaves the caller's
// by-reference arguments alone and, for a bad argument, names one that really does not fit.
#include "automation/contract/comm_members.h"
#include "framework/dispatch_class.h"
#include "framework/dispatch_variant.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <span>
#include <utility>
#include <vector>

namespace {

using tfw::DispatchStatus;
using tfw::MemberInfo;
using tfw::MemberKind;
using tfw::Variant;
using tfw::VarType;

void Check(bool ok) {
    if (!ok) std::abort();
}

constexpr std::int16_t kWrittenI2 = 0x1234;
constexpr std::int32_t kWrittenI4 = 0x12345678;
constexpr std::uint8_t kWrittenByte = 0x5A;

// What the last Invoke did to the target.
struct CallRecord {
    int calls = 0;
    std::size_t row = 0;
    bool put = false;
    std::vector<Variant> original;  // the caller's arguments before the call
} g_record;

bool IsInteger(VarType t) {
    return t == VarType::I2 || t == VarType::I4;
}

std::int32_t IntegerOf(const Variant& v) {
    return v.Type() == VarType::I2 ? v.AsI2() : v.AsI4();
}

// The value the target must see for `orig` passed where `wanted` is declared.
bool SeenAs(const Variant& orig, const Variant& seen, VarType wanted) {
    if (seen.Type() != wanted) return false;
    if (orig.Type() == wanted) return seen == orig;
    if (wanted == VarType::Bool) return seen.AsBool() == (IntegerOf(orig) != 0);
    return IntegerOf(seen) == IntegerOf(orig);
}

enum class Fit { Yes, Mismatch, Overflow };

Fit Fits(const Variant& v, VarType wanted) {
    const VarType held = v.Type();
    if (held == wanted) return Fit::Yes;
    if (tfw::IsByRef(held) || tfw::IsByRef(wanted) || !IsInteger(held)) return Fit::Mismatch;
    if (wanted == VarType::I4 || wanted == VarType::Bool) return Fit::Yes;
    if (wanted == VarType::I2) {
        const std::int32_t n = IntegerOf(v);
        return n < std::numeric_limits<std::int16_t>::min() ||
                       n > std::numeric_limits<std::int16_t>::max()
                   ? Fit::Overflow
                   : Fit::Yes;
    }
    return Fit::Mismatch;
}

void OnCall(std::size_t row, bool put, std::span<Variant> args, Variant& result) {
    ++g_record.calls;
    g_record.row = row;
    g_record.put = put;
    const MemberInfo& info = CommMembers()[row];
    std::vector<VarType> declared;
    if (put)
        declared.push_back(info.result);
    else if (info.kind == MemberKind::Method)
        declared.assign(info.Params().begin(), info.Params().end());

    Check(args.size() == declared.size() && g_record.original.size() == declared.size());
    for (std::size_t i = 0; i < args.size(); ++i) {
        Check(SeenAs(g_record.original[i], args[i], declared[i]));
        switch (declared[i]) {
            case VarType::StringRef:
                for (std::uint8_t& b : args[i].Bytes()) b = kWrittenByte;
                break;
            case VarType::I2Ref:
                args[i].I2Value() = kWrittenI2;
                break;
            case VarType::I4Ref:
                args[i].I4Value() = kWrittenI4;
                break;
            case VarType::BoolRef:
                args[i].BoolValue() = !args[i].BoolValue();
                break;
            default:
                break;
        }
    }
    if (put) return;
    switch (info.result) {
        case VarType::I2:
            result = Variant::I2(7);
            break;
        case VarType::I4:
            result = Variant::I4(7);
            break;
        case VarType::Bool:
            result = Variant::Bool(true);
            break;
        case VarType::String:
            result = Variant::String("r");
            break;
        default:
            break;
    }
}

template <std::size_t Row>
void CallRow(tfw::DispatchTarget&, std::span<Variant> args, Variant& result) {
    OnCall(Row, false, args, result);
}

template <std::size_t Row>
void PutRow(tfw::DispatchTarget&, std::span<Variant> args, Variant& result) {
    OnCall(Row, true, args, result);
}

template <std::size_t... Row>
std::array<tfw::MemberBinding, kCommMemberCount> MakeBindings(std::index_sequence<Row...>) {
    std::array<tfw::MemberBinding, kCommMemberCount> out{};
    ((out[Row].call = &CallRow<Row>), ...);
    ((out[Row].put = CommMembers()[Row].kind == MemberKind::Property ? &PutRow<Row> : nullptr),
     ...);
    for (std::size_t i = 0; i < out.size(); ++i) {
        const MemberInfo& info = CommMembers()[i];
        out[i].kind = info.kind;
        out[i].result = info.result;
        out[i].param = info.param;
        out[i].paramCount = info.paramCount;
    }
    return out;
}

const std::array<tfw::MemberBinding, kCommMemberCount> kBindings =
    MakeBindings(std::make_index_sequence<kCommMemberCount>{});
const tfw::DispatchClass kChannelClass("FuzzChannel", kCommInterfaceName, CommMembers(), kBindings,
                                       nullptr);
// A class derived once that adds nothing: the same rows at 0x10001.. .
const tfw::DispatchClass kDerivedClass("FuzzDerived", "", {}, {}, &kChannelClass);

struct Target : tfw::DispatchTarget {
    const tfw::DispatchClass* cls;
    explicit Target(const tfw::DispatchClass& c) : cls(&c) {}
    const tfw::DispatchClass& GetDispatchClass() const override { return *cls; }
};

Variant MakeArg(FuzzedDataProvider& in) {
    switch (in.ConsumeIntegralInRange<int>(0, 8)) {
        case 0:
            return Variant();
        case 1:
            return Variant::I2(in.ConsumeIntegral<std::int16_t>());
        case 2: {
            // The edges of the 16-bit range are where a narrowing check goes wrong.
            static constexpr std::int32_t kEdges[] = {0,
                                                      1,
                                                      -1,
                                                      32767,
                                                      32768,
                                                      32769,
                                                      -32767,
                                                      -32768,
                                                      -32769,
                                                      65535,
                                                      65536,
                                                      std::numeric_limits<std::int32_t>::min(),
                                                      std::numeric_limits<std::int32_t>::max()};
            switch (in.ConsumeIntegralInRange<int>(0, 2)) {
                case 0:
                    return Variant::I4(in.PickValueInArray(kEdges));
                case 1:
                    return Variant::I4(in.ConsumeIntegralInRange<std::int32_t>(-40000, 40000));
                default:
                    return Variant::I4(in.ConsumeIntegral<std::int32_t>());
            }
        }
        case 3:
            return Variant::Bool(in.ConsumeBool());
        case 4:
            return Variant::String(in.ConsumeRandomLengthString(16));
        case 5:
            return Variant::StringRef(
                in.ConsumeBytes<std::uint8_t>(in.ConsumeIntegralInRange<std::size_t>(0, 16)));
        case 6:
            return Variant::I2Ref(in.ConsumeIntegral<std::int16_t>());
        case 7:
            return Variant::I4Ref(in.ConsumeIntegral<std::int32_t>());
        default:
            return Variant::BoolRef(in.ConsumeBool());
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool tablesFit =
        kChannelClass.CheckBindings().empty() && kDerivedClass.CheckBindings().empty();
    Check(tablesFit);

    FuzzedDataProvider in(data, size);
    const std::int32_t depth = in.ConsumeBool() ? 1 : 0;
    const tfw::DispatchClass& cls = depth ? kDerivedClass : kChannelClass;
    const std::int32_t dispid = in.ConsumeBool()
                                    ? (depth << 16) | in.ConsumeIntegralInRange<std::int32_t>(0, 38)
                                    : in.ConsumeIntegral<std::int32_t>();
    const std::uint16_t flags = in.ConsumeBool() ? in.ConsumeIntegralInRange<std::uint16_t>(0, 7)
                                                 : in.ConsumeIntegral<std::uint16_t>();
    std::vector<Variant> args(in.ConsumeIntegralInRange<std::size_t>(0, 9));
    for (Variant& a : args) a = MakeArg(in);

    // What should happen, from the documented rules.
    bool shouldCall = flags != 0 && (flags & ~7u) == 0;
    const std::size_t row = static_cast<std::size_t>((dispid & 0xFFFF) - 1);
    shouldCall = shouldCall && dispid > 0 && (dispid >> 16) == depth && (dispid & 0xFFFF) >= 1 &&
                 (dispid & 0xFFFF) <= kCommMemberCount;
    bool put = false;
    std::vector<VarType> declared;
    if (shouldCall) {
        const MemberInfo& info = CommMembers()[row];
        if (info.kind == MemberKind::Property) {
            put = (flags & tfw::kDispatchPropertyPut) != 0;
            if (put) declared.push_back(info.result);
        } else {
            shouldCall = (flags & (tfw::kDispatchMethod | tfw::kDispatchPropertyGet)) != 0;
            declared.assign(info.Params().begin(), info.Params().end());
        }
        shouldCall = shouldCall && args.size() == declared.size();
        for (std::size_t i = 0; shouldCall && i < args.size(); ++i)
            shouldCall = Fits(args[i], declared[i]) == Fit::Yes;
    }

    g_record = CallRecord{};
    g_record.original = args;
    Target target(cls);
    Variant result = Variant::String("untouched");
    std::size_t badArg = std::numeric_limits<std::size_t>::max();
    const DispatchStatus status = tfw::Invoke(target, dispid, flags, args, result, &badArg);

    if (status == DispatchStatus::Ok) {
        Check(shouldCall);
        Check(g_record.calls == 1 && g_record.row == row && g_record.put == put);
        const VarType declaredResult = CommMembers()[row].result;
        Check(result.Type() == (put ? VarType::Empty : declaredResult));
        for (std::size_t i = 0; i < args.size(); ++i) {
            const Variant& before = g_record.original[i];
            switch (declared[i]) {
                case VarType::StringRef:
                    Check(args[i].Bytes().size() == before.Bytes().size());
                    for (std::uint8_t b : args[i].Bytes()) Check(b == kWrittenByte);
                    break;
                case VarType::I2Ref:
                    Check(args[i].AsI2() == kWrittenI2);
                    break;
                case VarType::I4Ref:
                    Check(args[i].AsI4() == kWrittenI4);
                    break;
                case VarType::BoolRef:
                    Check(args[i].AsBool() == !before.AsBool());
                    break;
                default:
                    break;
            }
        }
        return 0;
    }

    Check(!shouldCall);
    Check(g_record.calls == 0);
    for (std::size_t i = 0; i < args.size(); ++i)
        if (tfw::IsByRef(g_record.original[i].Type())) Check(args[i] == g_record.original[i]);
    if (status == DispatchStatus::TypeMismatch || status == DispatchStatus::Overflow) {
        Check(badArg < args.size() && badArg < declared.size());
        const Fit fit = Fits(g_record.original[badArg], declared[badArg]);
        Check(fit == (status == DispatchStatus::Overflow ? Fit::Overflow : Fit::Mismatch));
    }
    if (status == DispatchStatus::NotBound) std::abort();  // every row is bound here
    return 0;
}
