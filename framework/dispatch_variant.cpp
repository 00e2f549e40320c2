#include "framework/dispatch_variant.h"

#include <cstdio>
#include <cstdlib>
#include <limits>
#include <type_traits>
#include <utility>

namespace tfw {

namespace {

[[noreturn]] void WrongAccess(const char* accessor, VarType held) {
    std::fprintf(stderr, "Variant::%s on a value of type %s\n", accessor, VarTypeName(held));
    std::abort();
}

}  // namespace

bool IsByRef(VarType type) {
    return type == VarType::StringRef || type == VarType::I2Ref || type == VarType::I4Ref ||
           type == VarType::BoolRef;
}

const char* VarTypeName(VarType type) {
    switch (type) {
        case VarType::Empty:
            return "none";
        case VarType::I2:
            return "I2";
        case VarType::I4:
            return "I4";
        case VarType::Bool:
            return "BOOL";
        case VarType::String:
            return "string";
        case VarType::StringRef:
            return "string ref";
        case VarType::I2Ref:
            return "I2 ref";
        case VarType::I4Ref:
            return "I4 ref";
        case VarType::BoolRef:
            return "BOOL ref";
    }
    return "?";
}

// Each value is put in place rather than passed through a temporary variant, which keeps
// GCC's uninitialised-use analysis quiet in sanitizer builds.
template <class V>
Variant Variant::Make(VarType type, V&& value) {
    Variant v;
    v.type_ = type;
    v.value_.emplace<std::decay_t<V>>(std::forward<V>(value));
    return v;
}

Variant Variant::I2(std::int16_t value) {
    return Make(VarType::I2, value);
}
Variant Variant::I4(std::int32_t value) {
    return Make(VarType::I4, value);
}
Variant Variant::Bool(bool value) {
    return Make(VarType::Bool, value);
}
Variant Variant::String(std::string text) {
    return Make(VarType::String, std::move(text));
}
Variant Variant::StringRef(std::vector<std::uint8_t> bytes) {
    return Make(VarType::StringRef, std::move(bytes));
}
Variant Variant::I2Ref(std::int16_t value) {
    return Make(VarType::I2Ref, value);
}
Variant Variant::I4Ref(std::int32_t value) {
    return Make(VarType::I4Ref, value);
}
Variant Variant::BoolRef(bool value) {
    return Make(VarType::BoolRef, value);
}

std::int16_t Variant::AsI2() const {
    if (auto* p = std::get_if<std::int16_t>(&value_)) return *p;
    WrongAccess("AsI2", type_);
}

std::int32_t Variant::AsI4() const {
    if (auto* p = std::get_if<std::int32_t>(&value_)) return *p;
    WrongAccess("AsI4", type_);
}

bool Variant::AsBool() const {
    if (auto* p = std::get_if<bool>(&value_)) return *p;
    WrongAccess("AsBool", type_);
}

const std::string& Variant::AsString() const {
    if (auto* p = std::get_if<std::string>(&value_)) return *p;
    WrongAccess("AsString", type_);
}

std::int16_t& Variant::I2Value() {
    if (auto* p = std::get_if<std::int16_t>(&value_)) return *p;
    WrongAccess("I2Value", type_);
}

std::int32_t& Variant::I4Value() {
    if (auto* p = std::get_if<std::int32_t>(&value_)) return *p;
    WrongAccess("I4Value", type_);
}

bool& Variant::BoolValue() {
    if (auto* p = std::get_if<bool>(&value_)) return *p;
    WrongAccess("BoolValue", type_);
}

std::span<std::uint8_t> Variant::Bytes() {
    if (auto* p = std::get_if<std::vector<std::uint8_t>>(&value_)) return *p;
    WrongAccess("Bytes", type_);
}

std::span<const std::uint8_t> Variant::Bytes() const {
    if (auto* p = std::get_if<std::vector<std::uint8_t>>(&value_)) return *p;
    WrongAccess("Bytes", type_);
}

CoerceResult Coerce(Variant& value, VarType wanted) {
    const VarType held = value.Type();
    if (held == wanted) return CoerceResult::Ok;
    if (IsByRef(wanted) || IsByRef(held)) return CoerceResult::TypeMismatch;

    switch (wanted) {
        case VarType::I2:
            if (held == VarType::I4) {
                const std::int32_t v = value.AsI4();
                if (v < std::numeric_limits<std::int16_t>::min() ||
                    v > std::numeric_limits<std::int16_t>::max())
                    return CoerceResult::Overflow;
                value = Variant::I2(static_cast<std::int16_t>(v));
                return CoerceResult::Ok;
            }
            break;
        case VarType::I4:
            if (held == VarType::I2) {
                value = Variant::I4(value.AsI2());
                return CoerceResult::Ok;
            }
            break;
        case VarType::Bool:
            if (held == VarType::I2) {
                value = Variant::Bool(value.AsI2() != 0);
                return CoerceResult::Ok;
            }
            if (held == VarType::I4) {
                value = Variant::Bool(value.AsI4() != 0);
                return CoerceResult::Ok;
            }
            break;
        default:
            break;
    }
    return CoerceResult::TypeMismatch;
}

}  // namespace tfw
