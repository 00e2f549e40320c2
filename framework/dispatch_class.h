// The dispatch core: member tables, dispatch identifiers and late-bound calls.
//
// A class that clients drive by automation declares a table of members in a fixed order
// (name, kind, parameter types, result type) and binds each entry to one of its C++
// operations (framework/dispatch_binding.h). A DispatchClass joins a table, its bindings
// and the DispatchClass of the base class, so a derived class only adds its own table.
//
// Dispatch identifiers: the low 16 bits are the member's 1-based position in the table
// that declares it, the high 16 bits the number of derivation steps from the object's
// class up to that table's class. On an object of the declaring class the members are
// 1..n; on an object of a class derived once they are 0x10001..0x1000n.
#pragma once

#include "framework/dispatch_variant.h"

#include <array>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tfw {

enum class MemberKind : std::uint8_t { Method, Property };

// Invoke flags: what the caller wants done with the member.
enum InvokeFlags : std::uint16_t {
    kDispatchMethod = 1,
    kDispatchPropertyGet = 2,
    kDispatchPropertyPut = 4,
};

constexpr std::size_t kMaxMemberParams = 8;

// One row of a member table. A property's type is its `result`; it has no parameters.
struct MemberInfo {
    constexpr MemberInfo(std::string_view memberName, MemberKind memberKind, VarType resultType,
                         std::initializer_list<VarType> parameterTypes = {})
        : name(memberName), kind(memberKind), result(resultType) {
        for (VarType t : parameterTypes) {
            if (paramCount < kMaxMemberParams) param[paramCount] = t;
            ++paramCount;  // a count above the maximum makes the table fail its check
        }
    }

    std::span<const VarType> Params() const {
        return {param.data(), paramCount <= kMaxMemberParams ? paramCount : kMaxMemberParams};
    }

    std::string_view name;
    MemberKind kind;
    VarType result;
    std::array<VarType, kMaxMemberParams> param{};
    std::size_t paramCount = 0;
};

class DispatchClass;

// Base of every object reachable by dispatch.
class DispatchTarget {
public:
    virtual ~DispatchTarget() = default;
    virtual const DispatchClass& GetDispatchClass() const = 0;
};

// Calls one C++ operation: reads the arguments (already of the declared types, in order)
// and stores the result. Produced by Bind/BindProperty (framework/dispatch_binding.h).
using MemberThunk = void (*)(DispatchTarget& self, std::span<Variant> args, Variant& result);

// The C++ side of one table row, with the types its operation really has, so that a
// binding that does not fit its row is found by CheckBindings instead of misreading
// arguments at run time.
struct MemberBinding {
    MemberThunk call = nullptr;  // method, or property get
    MemberThunk put = nullptr;   // property set
    MemberKind kind = MemberKind::Method;
    VarType result = VarType::Empty;
    std::array<VarType, kMaxMemberParams> param{};
    std::size_t paramCount = 0;
};

enum class DispatchStatus {
    Ok,
    UnknownName,     // no member of that name
    MemberNotFound,  // no member with that identifier, or it cannot be used that way
    BadParamCount,
    TypeMismatch,
    Overflow,  // an integer argument does not fit the declared type
    BadFlags,  // flags other than a combination of 1, 2 and 4
    NotBound,  // the member is declared but has no operation yet
};

// "UnknownName", "BadParamCount", ...: the last part of the D-Bus error names.
const char* DispatchStatusName(DispatchStatus status);

class DispatchClass {
public:
    // `interfaceName` names the table where it is published ("RiVo32.Document"); empty for
    // a class that adds no members. `bindings` is empty (nothing bound yet) or has one
    // entry per table row. The spans must outlive the class object (static tables).
    DispatchClass(std::string_view className, std::string_view interfaceName,
                  std::span<const MemberInfo> table, std::span<const MemberBinding> bindings,
                  const DispatchClass* base);

    std::string_view ClassName() const { return className_; }
    std::string_view InterfaceName() const { return interfaceName_; }
    std::span<const MemberInfo> Table() const { return table_; }
    const DispatchClass* Base() const { return base_; }

    // Empty when the table is well formed and every binding fits its row (kind, types,
    // parameter count); otherwise a description of the first problem. Checks the bases too.
    std::string CheckBindings() const;

    // Identifier of a member by name, without regard to ASCII case. The class's own table
    // is searched before its bases', so a derived member hides a base one of the same name.
    std::optional<std::int32_t> GetIDOfName(std::string_view name) const;

    // The row of an identifier as seen from this class, or null.
    const MemberInfo* FindMember(std::int32_t dispid) const;

    // Every member reachable from this class with its identifier: own table first.
    struct Entry {
        std::int32_t dispid;
        const MemberInfo* info;
        const DispatchClass* declaredBy;
    };
    std::vector<Entry> AllMembers() const;

    // Calls member `dispid` on `target` (an object of this class or of a class derived from
    // it). `args` are in declared order; by-value arguments are converted to the declared
    // types first, by-reference ones must match exactly and come back changed. Nothing is
    // called unless the identifier, flags, argument count and every type fit.
    // `badArg` receives the index of the argument that did not fit.
    DispatchStatus Invoke(DispatchTarget& target, std::int32_t dispid, std::uint16_t flags,
                          std::span<Variant> args, Variant& result,
                          std::size_t* badArg = nullptr) const;

private:
    struct Resolved {
        const MemberInfo* info = nullptr;
        const MemberBinding* binding = nullptr;
    };
    Resolved Resolve(std::int32_t dispid) const;

    std::string_view className_;
    std::string_view interfaceName_;
    std::span<const MemberInfo> table_;
    std::span<const MemberBinding> bindings_;
    const DispatchClass* base_;
};

// Convenience: Invoke through the object's own class.
DispatchStatus Invoke(DispatchTarget& target, std::int32_t dispid, std::uint16_t flags,
                      std::span<Variant> args, Variant& result, std::size_t* badArg = nullptr);

}  // namespace tfw
