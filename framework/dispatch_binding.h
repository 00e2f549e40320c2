// Binds member-table rows to C++ operations. The argument and result types come from the
// operation's own signature, so CheckBindings can compare them with the table:
//
//   C++ parameter                     table type
//   std::int16_t / std::int32_t      I2 / I4
//   bool                             BOOL
//   const std::string&, std::string  string (by value)
//   std::span<std::uint8_t>          string ref (the caller's bytes, written in place)
//   std::int16_t& / std::int32_t& / bool&   I2 ref / I4 ref / BOOL ref
//
// Results: void (none), std::int16_t, std::int32_t, bool, std::string.
//
//   static const tfw::MemberBinding kBindings[] = {
//       tfw::BindProperty<&CDocComm::GetTBuffSize, &CDocComm::SetTBuffSize>(),
//       tfw::Bind<&CDocComm::ConnectToPort>(),
//       ...
//   };
#pragma once

#include "framework/dispatch_class.h"

#include <cstdint>
#include <span>
#include <string>
#include <type_traits>
#include <utility>

namespace tfw {

namespace dispatch_detail {

template <class T>
struct Arg;

template <>
struct Arg<std::int16_t> {
    static constexpr VarType type = VarType::I2;
    static std::int16_t Get(Variant& v) { return v.AsI2(); }
};
template <>
struct Arg<std::int32_t> {
    static constexpr VarType type = VarType::I4;
    static std::int32_t Get(Variant& v) { return v.AsI4(); }
};
template <>
struct Arg<bool> {
    static constexpr VarType type = VarType::Bool;
    static bool Get(Variant& v) { return v.AsBool(); }
};
template <>
struct Arg<const std::string&> {
    static constexpr VarType type = VarType::String;
    static const std::string& Get(Variant& v) { return v.AsString(); }
};
template <>
struct Arg<std::string> : Arg<const std::string&> {};
template <>
struct Arg<std::span<std::uint8_t>> {
    static constexpr VarType type = VarType::StringRef;
    static std::span<std::uint8_t> Get(Variant& v) { return v.Bytes(); }
};
template <>
struct Arg<std::int16_t&> {
    static constexpr VarType type = VarType::I2Ref;
    static std::int16_t& Get(Variant& v) { return v.I2Value(); }
};
template <>
struct Arg<std::int32_t&> {
    static constexpr VarType type = VarType::I4Ref;
    static std::int32_t& Get(Variant& v) { return v.I4Value(); }
};
template <>
struct Arg<bool&> {
    static constexpr VarType type = VarType::BoolRef;
    static bool& Get(Variant& v) { return v.BoolValue(); }
};

template <class T>
struct Result;
template <>
struct Result<void> {
    static constexpr VarType type = VarType::Empty;
};
template <>
struct Result<std::int16_t> {
    static constexpr VarType type = VarType::I2;
    static Variant Make(std::int16_t v) { return Variant::I2(v); }
};
template <>
struct Result<std::int32_t> {
    static constexpr VarType type = VarType::I4;
    static Variant Make(std::int32_t v) { return Variant::I4(v); }
};
template <>
struct Result<bool> {
    static constexpr VarType type = VarType::Bool;
    static Variant Make(bool v) { return Variant::Bool(v); }
};
template <>
struct Result<std::string> {
    static constexpr VarType type = VarType::String;
    static Variant Make(std::string v) { return Variant::String(std::move(v)); }
};

// Splits a pointer to member function into class, result and parameters.
template <class F>
struct Signature;
template <class C, class R, class... A>
struct Signature<R (C::*)(A...)> {
    using Class = C;
    using Ret = R;
    static constexpr std::size_t count = sizeof...(A);
    template <auto F, std::size_t... I>
    static R Call(C& self, [[maybe_unused]] std::span<Variant> args, std::index_sequence<I...>) {
        return (self.*F)(Arg<A>::Get(args[I])...);
    }
    static void Types(MemberBinding& b) {
        b.paramCount = count;
        std::size_t i = 0;
        ((b.param[i++] = Arg<A>::type), ...);
        (void)i;
    }
};
template <class C, class R, class... A>
struct Signature<R (C::*)(A...) const> : Signature<R (C::*)(A...)> {
    template <auto F, std::size_t... I>
    static R Call(const C& self, [[maybe_unused]] std::span<Variant> args,
                  std::index_sequence<I...>) {
        return (self.*F)(Arg<A>::Get(args[I])...);
    }
};

template <auto F>
void Thunk(DispatchTarget& target, std::span<Variant> args, Variant& result) {
    using S = Signature<decltype(F)>;
    using C = typename S::Class;
    static_assert(std::is_base_of_v<DispatchTarget, C>, "the class must be a DispatchTarget");
    auto& self = static_cast<C&>(target);
    if constexpr (std::is_void_v<typename S::Ret>) {
        S::template Call<F>(self, args, std::make_index_sequence<S::count>{});
    } else {
        result = Result<typename S::Ret>::Make(
            S::template Call<F>(self, args, std::make_index_sequence<S::count>{}));
    }
}

}  // namespace dispatch_detail

// A method row.
template <auto F>
MemberBinding Bind() {
    using S = dispatch_detail::Signature<decltype(F)>;
    static_assert(S::count <= kMaxMemberParams, "too many parameters");
    MemberBinding b;
    b.call = &dispatch_detail::Thunk<F>;
    b.kind = MemberKind::Method;
    b.result = dispatch_detail::Result<typename S::Ret>::type;
    S::Types(b);
    return b;
}

// A property row: `Get` takes nothing and returns the property's type, `Set` takes that
// type and returns nothing.
template <auto Get, auto Set>
MemberBinding BindProperty() {
    using G = dispatch_detail::Signature<decltype(Get)>;
    using P = dispatch_detail::Signature<decltype(Set)>;
    static_assert(G::count == 0 && P::count == 1 && std::is_void_v<typename P::Ret>,
                  "a property is a getter without arguments and a setter of one value");
    MemberBinding b;
    b.call = &dispatch_detail::Thunk<Get>;
    b.put = &dispatch_detail::Thunk<Set>;
    b.kind = MemberKind::Property;
    b.result = dispatch_detail::Result<typename G::Ret>::type;
    MemberBinding setter;
    P::Types(setter);
    if (setter.param[0] != b.result) b.put = nullptr;  // reported by CheckBindings
    b.paramCount = 0;
    return b;
}

}  // namespace tfw
