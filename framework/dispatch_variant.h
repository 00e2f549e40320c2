// Values that travel through the dispatch core: the arguments and results of automation
// members. A by-reference value lives inside its Variant; the member writes through it and
// the caller reads it back from the same argument after the call.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace tfw {

// The types of the member tables' argument and result columns.
enum class VarType : std::uint8_t {
    Empty,      // no value: the result of a member that returns nothing
    I2,         // signed 16-bit integer
    I4,         // signed 32-bit integer
    Bool,       // boolean
    String,     // text by value (8-bit bytes)
    StringRef,  // string by reference: a raw byte buffer; its length never changes
    I2Ref,
    I4Ref,
    BoolRef,
};

bool IsByRef(VarType type);
// "I2", "string ref", ... as the member tables write them.
const char* VarTypeName(VarType type);

class Variant {
public:
    Variant() = default;  // Empty

    static Variant I2(std::int16_t value);
    static Variant I4(std::int32_t value);
    static Variant Bool(bool value);
    static Variant String(std::string text);
    static Variant StringRef(std::vector<std::uint8_t> bytes);
    static Variant I2Ref(std::int16_t value);
    static Variant I4Ref(std::int32_t value);
    static Variant BoolRef(bool value);

    VarType Type() const { return type_; }
    bool IsEmpty() const { return type_ == VarType::Empty; }

    // Readers and writers of the held value. Each requires the matching type (I2 or I2Ref
    // for the 16-bit accessors, and so on); calling one on another type is a programming
    // error and aborts.
    std::int16_t AsI2() const;
    std::int32_t AsI4() const;
    bool AsBool() const;
    const std::string& AsString() const;
    std::int16_t& I2Value();
    std::int32_t& I4Value();
    bool& BoolValue();
    // The buffer of a StringRef: writable in place, never resized.
    std::span<std::uint8_t> Bytes();
    std::span<const std::uint8_t> Bytes() const;

    bool operator==(const Variant& other) const = default;

private:
    using Storage = std::variant<std::monostate, std::int16_t, std::int32_t, bool, std::string,
                                 std::vector<std::uint8_t>>;
    template <class V>
    static Variant Make(VarType type, V&& value);

    VarType type_ = VarType::Empty;
    Storage value_;
};

// Result of converting an argument to the type a member declares.
enum class CoerceResult { Ok, TypeMismatch, Overflow };

// Converts `value` in place to `wanted`, as automation does for by-value arguments:
// I2 <-> I4 within range, integers to Bool (non-zero is true). Strings and by-reference
// arguments must match exactly (a by-reference argument is the caller's own storage).
CoerceResult Coerce(Variant& value, VarType wanted);

}  // namespace tfw
