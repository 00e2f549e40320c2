#include "setup/page_strings.h"

#include "framework/string_table.h"

#include <string>

namespace kerdal::page_strings {

namespace {

// Registered with the library tier of the string table, so the host program's own text
// for the same id wins.
constexpr tfw::StringEntry kEntries[] = {
    {kIdsNeedPositiveTimeout, "This work mode demands a positive timeout"},
    {kIdsNeedInternalTimeout, "The internal timeout must be greater then zero"},
    {kIdsNeedResponse, "This work mode demands a response string, that is not empty"},
    {kIdsParseInt, "Please enter an integer."},
    {kIdsParseReal, "Please enter a number."},
    {kIdsParseIntRange, "Please enter an integer between %1 and %2."},
    {kIdsParseStringSize, "Please enter no more than %1 characters."},
    {kIdsParseUInt, "Please enter a positive integer."},
};

const tfw::StringRegistration kRegistration(tfw::StringSource::Library, kEntries);

}  // namespace

QString PageString(unsigned id) {
    std::string text;
    if (!tfw::LoadString(id, text)) return QString();
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QString FormatPageString(unsigned id, const QString& arg1, const QString& arg2) {
    const QString text = PageString(id);
    // One pass, so that an argument that itself holds "%2" is left alone.
    return text.contains(QLatin1String("%2")) ? text.arg(arg1, arg2) : text.arg(arg1);
}

QStringList LoudItems() {
    return {QStringLiteral("Min"), QStringLiteral("Mid"), QStringLiteral("Max")};
}

QStringList SpeakerItems() {
    return {QStringLiteral("Off"), QStringLiteral("On During Dial"), QStringLiteral("Always On"),
            QStringLiteral("On Before Answer")};
}

QStringList ReplyModeItems() {
    return {QStringLiteral("Digit"), QStringLiteral("String")};
}

QStringList DialModeItems() {
    return {QStringLiteral("Tone"), QStringLiteral("Pulse")};
}

QStringList IrBaudItems() {
    return {QStringLiteral("2400"), QStringLiteral("9600"), QStringLiteral("19200"),
            QStringLiteral("57600")};
}

}  // namespace kerdal::page_strings
