// The dispatch core on small targets: identifiers, the derivation rule, name lookup,
// argument checking before the call, by-reference values and binding checks.
#include "automation/contract/comm_members.h"
#include "framework/dispatch_binding.h"
#include "framework/dispatch_class.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using tfw::DispatchStatus;
using tfw::MemberInfo;
using tfw::Variant;
using T = tfw::VarType;
using K = tfw::MemberKind;

class Meter : public tfw::DispatchTarget {
public:
    const tfw::DispatchClass& GetDispatchClass() const override;
    static const tfw::DispatchClass& Class();

    std::int16_t GetLevel() const { return level; }
    void SetLevel(std::int16_t v) {
        ++calls;
        level = v;
    }
    std::int32_t Add(std::int16_t a, std::int32_t b) {
        ++calls;
        return a + b;
    }
    // Writes up to `count` bytes of 'x' into the caller's buffer, never past its end.
    std::int16_t Fill(std::span<std::uint8_t> buffer, std::int16_t count) {
        ++calls;
        std::int16_t n = 0;
        for (; n < count && static_cast<std::size_t>(n) < buffer.size(); ++n) buffer[n] = 'x';
        return n;
    }
    bool Split(std::int32_t& whole, std::int16_t& part, bool& odd) {
        ++calls;
        part = static_cast<std::int16_t>(whole % 100);
        odd = (whole % 2) != 0;
        whole /= 100;
        return true;
    }
    std::string Greet(const std::string& who) {
        ++calls;
        return "hello " + who;
    }
    void Reset() {
        ++calls;
        level = 0;
    }
    bool Flag(bool on) {
        ++calls;
        return on;
    }

    std::int16_t level = 7;
    int calls = 0;
};

class Gauge : public Meter {
public:
    const tfw::DispatchClass& GetDispatchClass() const override;
    static const tfw::DispatchClass& Class();
    std::int16_t Scale(std::int16_t v) {
        ++calls;
        return static_cast<std::int16_t>(v * 10);
    }
    // Hides Meter's Reset by name.
    void Reset() {
        ++calls;
        level = -1;
    }
};

constexpr MemberInfo kMeterTable[] = {
    {"Level", K::Property, T::I2},
    {"Add", K::Method, T::I4, {T::I2, T::I4}},
    {"Fill", K::Method, T::I2, {T::StringRef, T::I2}},
    {"Split", K::Method, T::Bool, {T::I4Ref, T::I2Ref, T::BoolRef}},
    {"Greet", K::Method, T::String, {T::String}},
    {"Reset", K::Method, T::Empty},
    {"Flag", K::Method, T::Bool, {T::Bool}},
    {"Unbound", K::Method, T::Empty},
};

const tfw::MemberBinding kMeterBindings[] = {
    tfw::BindProperty<&Meter::GetLevel, &Meter::SetLevel>(),
    tfw::Bind<&Meter::Add>(),
    tfw::Bind<&Meter::Fill>(),
    tfw::Bind<&Meter::Split>(),
    tfw::Bind<&Meter::Greet>(),
    tfw::Bind<&Meter::Reset>(),
    tfw::Bind<&Meter::Flag>(),
    tfw::MemberBinding{},
};

constexpr MemberInfo kGaugeTable[] = {
    {"Scale", K::Method, T::I2, {T::I2}},
    {"RESET", K::Method, T::Empty},
};

const tfw::MemberBinding kGaugeBindings[] = {
    tfw::Bind<&Gauge::Scale>(),
    tfw::Bind<&Gauge::Reset>(),
};

const tfw::DispatchClass& Meter::Class() {
    static const tfw::DispatchClass cls("Meter", "Test.Meter", kMeterTable, kMeterBindings,
                                        nullptr);
    return cls;
}
const tfw::DispatchClass& Meter::GetDispatchClass() const {
    return Class();
}

const tfw::DispatchClass& Gauge::Class() {
    static const tfw::DispatchClass cls("Gauge", "Test.Gauge", kGaugeTable, kGaugeBindings,
                                        &Meter::Class());
    return cls;
}
const tfw::DispatchClass& Gauge::GetDispatchClass() const {
    return Class();
}

DispatchStatus Call(tfw::DispatchTarget& t, std::int32_t dispid, std::uint16_t flags,
                    std::vector<Variant>& args, Variant& result, std::size_t* bad = nullptr) {
    return tfw::Invoke(t, dispid, flags, args, result, bad);
}

TEST(DispatchIdentifiers, PositionsAndDerivationSteps) {
    const auto& meter = Meter::Class();
    EXPECT_EQ(meter.GetIDOfName("Level"), 1);
    EXPECT_EQ(meter.GetIDOfName("add"), 2);
    EXPECT_EQ(meter.GetIDOfName("GREET"), 5);
    EXPECT_EQ(meter.GetIDOfName("Nothing"), std::nullopt);
    EXPECT_EQ(meter.GetIDOfName(""), std::nullopt);
    EXPECT_EQ(meter.GetIDOfName("Adder"), std::nullopt);

    const auto& gauge = Gauge::Class();
    EXPECT_EQ(gauge.GetIDOfName("scale"), 1);
    EXPECT_EQ(gauge.GetIDOfName("Add"), 0x10002);
    EXPECT_EQ(gauge.GetIDOfName("level"), 0x10001);
    // The derived class's own member wins over the inherited one of the same name.
    EXPECT_EQ(gauge.GetIDOfName("reset"), 2);

    EXPECT_EQ(gauge.FindMember(0x10003)->name, "Fill");
    EXPECT_EQ(gauge.FindMember(3), nullptr);
    EXPECT_EQ(gauge.FindMember(0x20001), nullptr);  // no second base
    EXPECT_EQ(gauge.FindMember(0), nullptr);
    EXPECT_EQ(gauge.FindMember(-1), nullptr);
    EXPECT_EQ(meter.FindMember(9), nullptr);

    const auto all = gauge.AllMembers();
    ASSERT_EQ(all.size(), 10u);
    EXPECT_EQ(all[0].dispid, 1);
    EXPECT_EQ(all[2].dispid, 0x10001);
    EXPECT_EQ(all[2].declaredBy, &meter);
}

TEST(DispatchIdentifiers, ChannelTableAndItsDerivedClasses) {
    const auto members = CommMembers();
    ASSERT_EQ(members.size(), 36u);
    const tfw::DispatchClass plain("Plain", kCommInterfaceName, members, {}, nullptr);
    const tfw::DispatchClass derived("Derived", "", {}, {}, &plain);
    EXPECT_EQ(plain.CheckBindings(), "");

    EXPECT_EQ(plain.GetIDOfName("connecttoport"), kDispConnectToPort);
    EXPECT_EQ(plain.GetIDOfName("ConnectToPort"), 3);
    EXPECT_EQ(plain.GetIDOfName("SetFlowControl"), 8);
    EXPECT_EQ(plain.GetIDOfName("GetAvailableCOMM"), 35);
    EXPECT_EQ(plain.GetIDOfName("AbortXfert"), 36);
    EXPECT_EQ(derived.GetIDOfName("ConnectToPort"), 0x10003);
    EXPECT_EQ(derived.GetIDOfName("setflowcontrol"), 0x10008);
    EXPECT_EQ(derived.GetIDOfName("GetAvailableComm"), 0x10023);

    // Names are unique without regard to case, so every name finds its own row.
    for (std::size_t i = 0; i < members.size(); ++i)
        EXPECT_EQ(plain.GetIDOfName(members[i].name), static_cast<std::int32_t>(i + 1))
            << members[i].name;
    EXPECT_EQ(members[kDispTBuffSize - 1].kind, K::Property);
    EXPECT_EQ(members[kDispRBuffSize - 1].kind, K::Property);
    EXPECT_EQ(members[kDispReadFromPort - 1].param[0], T::StringRef);
    EXPECT_EQ(members[kDispReceiveXModemFile - 1].param[0], T::String);
}

TEST(DispatchInvoke, CallsWithDeclaredTypesAndConvertsByValueIntegers) {
    Meter m;
    Variant result;
    std::vector<Variant> args{Variant::I2(2), Variant::I4(40)};
    ASSERT_EQ(Call(m, 2, tfw::kDispatchMethod, args, result), DispatchStatus::Ok);
    EXPECT_EQ(result, Variant::I4(42));

    // An I4 that fits becomes I2, an I2 becomes I4, integers become BOOL.
    args = {Variant::I4(-5), Variant::I2(5)};
    ASSERT_EQ(Call(m, 2, tfw::kDispatchMethod, args, result), DispatchStatus::Ok);
    EXPECT_EQ(result, Variant::I4(0));
    args = {Variant::I4(3)};
    ASSERT_EQ(Call(m, 7, tfw::kDispatchMethod, args, result), DispatchStatus::Ok);
    EXPECT_EQ(result, Variant::Bool(true));

    args = {Variant::String("bus")};
    ASSERT_EQ(Call(m, 5, tfw::kDispatchMethod | tfw::kDispatchPropertyGet, args, result),
              DispatchStatus::Ok);
    EXPECT_EQ(result, Variant::String("hello bus"));

    args.clear();
    ASSERT_EQ(Call(m, 6, tfw::kDispatchMethod, args, result), DispatchStatus::Ok);
    EXPECT_TRUE(result.IsEmpty());
    EXPECT_EQ(m.level, 0);
}

TEST(DispatchInvoke, RefusedCallsNeverReachTheTarget) {
    Meter m;
    Variant result = Variant::I2(99);
    std::size_t bad = 77;
    std::vector<Variant> args{Variant::I2(1)};
    EXPECT_EQ(Call(m, 2, tfw::kDispatchMethod, args, result), DispatchStatus::BadParamCount);

    args = {Variant::I2(1), Variant::I4(2), Variant::I4(3)};
    EXPECT_EQ(Call(m, 2, tfw::kDispatchMethod, args, result), DispatchStatus::BadParamCount);

    args = {Variant::String("1"), Variant::I4(2)};
    EXPECT_EQ(Call(m, 2, tfw::kDispatchMethod, args, result, &bad), DispatchStatus::TypeMismatch);
    EXPECT_EQ(bad, 0u);

    args = {Variant::I4(70000), Variant::I4(2)};
    EXPECT_EQ(Call(m, 2, tfw::kDispatchMethod, args, result, &bad), DispatchStatus::Overflow);
    EXPECT_EQ(bad, 0u);

    // A string by value is not a buffer, and a buffer is not a string.
    args = {Variant::String("abc"), Variant::I2(3)};
    EXPECT_EQ(Call(m, 3, tfw::kDispatchMethod, args, result, &bad), DispatchStatus::TypeMismatch);
    args = {Variant::StringRef({'a'})};
    EXPECT_EQ(Call(m, 5, tfw::kDispatchMethod, args, result), DispatchStatus::TypeMismatch);

    // By-reference arguments are never converted: an I2 ref is not an I4 ref.
    args = {Variant::I2Ref(1), Variant::I2Ref(0), Variant::BoolRef(false)};
    EXPECT_EQ(Call(m, 4, tfw::kDispatchMethod, args, result, &bad), DispatchStatus::TypeMismatch);
    EXPECT_EQ(bad, 0u);
    args = {Variant::I4(1), Variant::I2Ref(0), Variant::BoolRef(false)};
    EXPECT_EQ(Call(m, 4, tfw::kDispatchMethod, args, result), DispatchStatus::TypeMismatch);

    args.clear();
    EXPECT_EQ(Call(m, 99, tfw::kDispatchMethod, args, result), DispatchStatus::MemberNotFound);
    EXPECT_EQ(Call(m, 0x10001, tfw::kDispatchMethod, args, result), DispatchStatus::MemberNotFound);
    EXPECT_EQ(Call(m, 6, 0, args, result), DispatchStatus::BadFlags);
    EXPECT_EQ(Call(m, 6, 8, args, result), DispatchStatus::BadFlags);
    EXPECT_EQ(Call(m, 6, tfw::kDispatchPropertyPut, args, result), DispatchStatus::MemberNotFound);
    EXPECT_EQ(Call(m, 8, tfw::kDispatchMethod, args, result), DispatchStatus::NotBound);

    EXPECT_EQ(m.calls, 0);
    EXPECT_EQ(m.level, 7);
}

TEST(DispatchInvoke, ByReferenceValuesComeBackChanged) {
    Meter m;
    Variant result;
    std::vector<Variant> args{Variant::I4Ref(1234), Variant::I2Ref(0), Variant::BoolRef(false)};
    ASSERT_EQ(Call(m, 4, tfw::kDispatchMethod, args, result), DispatchStatus::Ok);
    EXPECT_EQ(result, Variant::Bool(true));
    EXPECT_EQ(args[0], Variant::I4Ref(12));
    EXPECT_EQ(args[1], Variant::I2Ref(34));
    EXPECT_EQ(args[2], Variant::BoolRef(false));

    // The member writes into the buffer it was given and cannot make it longer.
    args = {Variant::StringRef({'a', 'b', 'c', 'd'}), Variant::I2(10)};
    ASSERT_EQ(Call(m, 3, tfw::kDispatchMethod, args, result), DispatchStatus::Ok);
    EXPECT_EQ(result, Variant::I2(4));
    EXPECT_EQ(args[0], Variant::StringRef({'x', 'x', 'x', 'x'}));
    args = {Variant::StringRef({'a', 'b', 'c', 'd'}), Variant::I2(2)};
    ASSERT_EQ(Call(m, 3, tfw::kDispatchMethod, args, result), DispatchStatus::Ok);
    EXPECT_EQ(args[0], Variant::StringRef({'x', 'x', 'c', 'd'}));
}

TEST(DispatchInvoke, PropertiesGetAndPut) {
    Meter m;
    Variant result;
    std::vector<Variant> none;
    ASSERT_EQ(Call(m, 1, tfw::kDispatchPropertyGet, none, result), DispatchStatus::Ok);
    EXPECT_EQ(result, Variant::I2(7));
    // Scripting clients read properties with the method flag too.
    ASSERT_EQ(Call(m, 1, tfw::kDispatchMethod | tfw::kDispatchPropertyGet, none, result),
              DispatchStatus::Ok);

    std::vector<Variant> value{Variant::I4(300)};
    ASSERT_EQ(Call(m, 1, tfw::kDispatchPropertyPut, value, result), DispatchStatus::Ok);
    EXPECT_EQ(m.level, 300);
    EXPECT_TRUE(result.IsEmpty());

    value = {Variant::I4(40000)};
    EXPECT_EQ(Call(m, 1, tfw::kDispatchPropertyPut, value, result), DispatchStatus::Overflow);
    std::vector<Variant> two{Variant::I2(1), Variant::I2(2)};
    EXPECT_EQ(Call(m, 1, tfw::kDispatchPropertyPut, two, result), DispatchStatus::BadParamCount);
    EXPECT_EQ(Call(m, 1, tfw::kDispatchPropertyGet, two, result), DispatchStatus::BadParamCount);
    EXPECT_EQ(m.level, 300);
    EXPECT_EQ(m.calls, 1);
}

TEST(DispatchInvoke, DerivedObjectsRunInheritedMembersOnThemselves) {
    Gauge g;
    Variant result;
    std::vector<Variant> args{Variant::I2(4)};
    ASSERT_EQ(Call(g, 1, tfw::kDispatchMethod, args, result), DispatchStatus::Ok);
    EXPECT_EQ(result, Variant::I2(40));

    args = {Variant::I2(1), Variant::I4(2)};
    ASSERT_EQ(Call(g, 0x10002, tfw::kDispatchMethod, args, result), DispatchStatus::Ok);
    EXPECT_EQ(result, Variant::I4(3));

    args.clear();
    ASSERT_EQ(Call(g, 2, tfw::kDispatchMethod, args, result), DispatchStatus::Ok);
    EXPECT_EQ(g.level, -1);
    ASSERT_EQ(Call(g, 0x10006, tfw::kDispatchMethod, args, result), DispatchStatus::Ok);
    EXPECT_EQ(g.level, 0);
    // On the derived object the base's identifiers without the step do not exist.
    EXPECT_EQ(Call(g, 6, tfw::kDispatchMethod, args, result), DispatchStatus::MemberNotFound);
}

TEST(DispatchBindings, CheckFindsBindingsThatDoNotFitTheirRows) {
    // A row left without an operation is reported, also from a derived class.
    EXPECT_EQ(Meter::Class().CheckBindings(), "Meter::Unbound (8): operation missing");
    EXPECT_EQ(Gauge::Class().CheckBindings(), "Meter::Unbound (8): operation missing");
    const tfw::DispatchClass bound("Bound", "", std::span(kMeterTable).first(7),
                                   std::span(kMeterBindings).first(7), nullptr);
    EXPECT_EQ(bound.CheckBindings(), "");

    constexpr MemberInfo wrongType[] = {{"Add", K::Method, T::I4, {T::I4, T::I4}}};
    const tfw::MemberBinding add[] = {tfw::Bind<&Meter::Add>()};
    const tfw::DispatchClass a("A", "", wrongType, add, nullptr);
    EXPECT_NE(a.CheckBindings().find("argument 1 is I2, table says I4"), std::string::npos)
        << a.CheckBindings();

    constexpr MemberInfo wrongCount[] = {{"Add", K::Method, T::I4, {T::I2}}};
    const tfw::DispatchClass b("B", "", wrongCount, add, nullptr);
    EXPECT_NE(b.CheckBindings().find("takes 2 arguments"), std::string::npos);

    constexpr MemberInfo wrongKind[] = {{"Add", K::Property, T::I4}};
    const tfw::DispatchClass c("C", "", wrongKind, add, nullptr);
    EXPECT_NE(c.CheckBindings().find("wrong kind"), std::string::npos);

    constexpr MemberInfo two[] = {{"Add", K::Method, T::I4, {T::I2, T::I4}},
                                  {"Reset", K::Method, T::Empty}};
    const tfw::DispatchClass d("D", "", two, add, nullptr);
    EXPECT_NE(d.CheckBindings().find("1 bindings for 2 members"), std::string::npos);

    // A broken base is found from the derived class.
    const tfw::DispatchClass e("E", "", {}, {}, &a);
    EXPECT_FALSE(e.CheckBindings().empty());
}

TEST(DispatchVariant, ConversionRules) {
    Variant v = Variant::I4(32767);
    EXPECT_EQ(tfw::Coerce(v, T::I2), tfw::CoerceResult::Ok);
    EXPECT_EQ(v, Variant::I2(32767));
    v = Variant::I4(-32769);
    EXPECT_EQ(tfw::Coerce(v, T::I2), tfw::CoerceResult::Overflow);
    v = Variant::I2(0);
    EXPECT_EQ(tfw::Coerce(v, T::Bool), tfw::CoerceResult::Ok);
    EXPECT_EQ(v, Variant::Bool(false));
    v = Variant::Bool(true);
    EXPECT_EQ(tfw::Coerce(v, T::I2), tfw::CoerceResult::TypeMismatch);
    v = Variant::String("5");
    EXPECT_EQ(tfw::Coerce(v, T::I4), tfw::CoerceResult::TypeMismatch);
    v = Variant();
    EXPECT_EQ(tfw::Coerce(v, T::I2), tfw::CoerceResult::TypeMismatch);
    EXPECT_DEATH(Variant::I2(1).AsString(), "AsString");
}

}  // namespace
