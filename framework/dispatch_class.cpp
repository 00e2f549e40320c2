#include "framework/dispatch_class.h"

#include <algorithm>

namespace tfw {

namespace {

bool EqualNoCase(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; };
        return lower(x) == lower(y);
    });
}

std::string RowName(const DispatchClass& cls, std::size_t index) {
    return std::string(cls.ClassName()) + "::" + std::string(cls.Table()[index].name) + " (" +
           std::to_string(index + 1) + ")";
}

std::string CheckRow(const DispatchClass& cls, std::size_t index, const MemberBinding* binding) {
    const MemberInfo& row = cls.Table()[index];
    if (row.paramCount > kMaxMemberParams) return RowName(cls, index) + ": too many parameters";
    if (row.result != VarType::Empty && IsByRef(row.result))
        return RowName(cls, index) + ": a result cannot be by reference";
    if (row.kind == MemberKind::Property && (row.paramCount != 0 || row.result == VarType::Empty))
        return RowName(cls, index) + ": a property has a type and no parameters";
    if (!binding) return {};

    if (binding->kind != row.kind) return RowName(cls, index) + ": bound to the wrong kind";
    if (!binding->call || (row.kind == MemberKind::Property && !binding->put))
        return RowName(cls, index) + ": operation missing";
    if (binding->result != row.result)
        return RowName(cls, index) + ": result is " + VarTypeName(binding->result) +
               ", table says " + VarTypeName(row.result);
    if (binding->paramCount != row.paramCount)
        return RowName(cls, index) + ": operation takes " + std::to_string(binding->paramCount) +
               " arguments, table says " + std::to_string(row.paramCount);
    for (std::size_t i = 0; i < row.paramCount; ++i) {
        if (binding->param[i] != row.param[i])
            return RowName(cls, index) + ": argument " + std::to_string(i + 1) + " is " +
                   VarTypeName(binding->param[i]) + ", table says " + VarTypeName(row.param[i]);
    }
    return {};
}

}  // namespace

const char* DispatchStatusName(DispatchStatus status) {
    switch (status) {
        case DispatchStatus::Ok:
            return "Ok";
        case DispatchStatus::UnknownName:
            return "UnknownName";
        case DispatchStatus::MemberNotFound:
            return "MemberNotFound";
        case DispatchStatus::BadParamCount:
            return "BadParamCount";
        case DispatchStatus::TypeMismatch:
            return "TypeMismatch";
        case DispatchStatus::Overflow:
            return "Overflow";
        case DispatchStatus::BadFlags:
            return "BadFlags";
        case DispatchStatus::NotBound:
            return "NotBound";
    }
    return "Failed";
}

DispatchClass::DispatchClass(std::string_view className, std::string_view interfaceName,
                             std::span<const MemberInfo> table,
                             std::span<const MemberBinding> bindings, const DispatchClass* base)
    : className_(className),
      interfaceName_(interfaceName),
      table_(table),
      bindings_(bindings),
      base_(base) {}

std::string DispatchClass::CheckBindings() const {
    if (!bindings_.empty() && bindings_.size() != table_.size())
        return std::string(className_) + ": " + std::to_string(bindings_.size()) +
               " bindings for " + std::to_string(table_.size()) + " members";
    if (table_.size() > 0xFFFF) return std::string(className_) + ": table too long";
    for (std::size_t i = 0; i < table_.size(); ++i) {
        std::string problem = CheckRow(*this, i, bindings_.empty() ? nullptr : &bindings_[i]);
        if (!problem.empty()) return problem;
    }
    return base_ ? base_->CheckBindings() : std::string();
}

std::optional<std::int32_t> DispatchClass::GetIDOfName(std::string_view name) const {
    std::int32_t steps = 0;
    for (const DispatchClass* cls = this; cls; cls = cls->base_, ++steps) {
        for (std::size_t i = 0; i < cls->table_.size(); ++i) {
            if (EqualNoCase(cls->table_[i].name, name))
                return (steps << 16) | static_cast<std::int32_t>(i + 1);
        }
    }
    return std::nullopt;
}

DispatchClass::Resolved DispatchClass::Resolve(std::int32_t dispid) const {
    if (dispid <= 0) return {};
    const std::int32_t steps = dispid >> 16;
    const std::int32_t position = dispid & 0xFFFF;
    const DispatchClass* cls = this;
    for (std::int32_t s = 0; s < steps && cls; ++s) cls = cls->base_;
    if (!cls || position < 1 || static_cast<std::size_t>(position) > cls->table_.size()) return {};
    const std::size_t index = static_cast<std::size_t>(position - 1);
    return {&cls->table_[index], cls->bindings_.empty() ? nullptr : &cls->bindings_[index]};
}

const MemberInfo* DispatchClass::FindMember(std::int32_t dispid) const {
    return Resolve(dispid).info;
}

std::vector<DispatchClass::Entry> DispatchClass::AllMembers() const {
    std::vector<Entry> out;
    std::int32_t steps = 0;
    for (const DispatchClass* cls = this; cls; cls = cls->base_, ++steps) {
        for (std::size_t i = 0; i < cls->table_.size(); ++i)
            out.push_back({(steps << 16) | static_cast<std::int32_t>(i + 1), &cls->table_[i], cls});
    }
    return out;
}

DispatchStatus DispatchClass::Invoke(DispatchTarget& target, std::int32_t dispid,
                                     std::uint16_t flags, std::span<Variant> args, Variant& result,
                                     std::size_t* badArg) const {
    constexpr std::uint16_t kAllFlags =
        kDispatchMethod | kDispatchPropertyGet | kDispatchPropertyPut;
    if (flags == 0 || (flags & ~kAllFlags) != 0) return DispatchStatus::BadFlags;

    const Resolved member = Resolve(dispid);
    if (!member.info) return DispatchStatus::MemberNotFound;
    const MemberInfo& info = *member.info;

    auto coerce = [&](std::size_t i, VarType wanted) {
        switch (Coerce(args[i], wanted)) {
            case CoerceResult::Ok:
                return DispatchStatus::Ok;
            case CoerceResult::Overflow:
                if (badArg) *badArg = i;
                return DispatchStatus::Overflow;
            case CoerceResult::TypeMismatch:
                break;
        }
        if (badArg) *badArg = i;
        return DispatchStatus::TypeMismatch;
    };

    MemberThunk thunk = nullptr;
    if (info.kind == MemberKind::Property) {
        if (flags & kDispatchPropertyPut) {
            if (args.size() != 1) return DispatchStatus::BadParamCount;
            if (DispatchStatus s = coerce(0, info.result); s != DispatchStatus::Ok) return s;
            thunk = member.binding ? member.binding->put : nullptr;
        } else {
            if (!args.empty()) return DispatchStatus::BadParamCount;
            thunk = member.binding ? member.binding->call : nullptr;
        }
    } else {
        // A method can be called, or read like a property (as scripting clients do),
        // but never assigned.
        if (!(flags & (kDispatchMethod | kDispatchPropertyGet)))
            return DispatchStatus::MemberNotFound;
        const auto params = info.Params();
        if (args.size() != params.size()) return DispatchStatus::BadParamCount;
        for (std::size_t i = 0; i < params.size(); ++i) {
            if (DispatchStatus s = coerce(i, params[i]); s != DispatchStatus::Ok) return s;
        }
        thunk = member.binding ? member.binding->call : nullptr;
    }
    if (!thunk) return DispatchStatus::NotBound;

    result = Variant();
    thunk(target, args, result);
    return DispatchStatus::Ok;
}

DispatchStatus Invoke(DispatchTarget& target, std::int32_t dispid, std::uint16_t flags,
                      std::span<Variant> args, Variant& result, std::size_t* badArg) {
    return target.GetDispatchClass().Invoke(target, dispid, flags, args, result, badArg);
}

}  // namespace tfw
