// The published interface descriptions agree with the member tables the server
// dispatches by: same members, same order, same D-Bus types.
#include "automation/call_mapping.h"
#include "automation/client/variant_codec.h"
#include "automation/interface_xml.h"
#include "automation/contract/comm_members.h"
#include "tests/automation/test_channel.h"

#include <gtest/gtest.h>

#include <QXmlStreamReader>

#include <vector>

namespace {

struct XmlMember {
    QString kind;  // "method", "property" or "signal"
    QString name;
    QString in;  // signature of the in-arguments (property: its type)
    QString out;
    QString access;
};

std::vector<XmlMember> ReadInterface(const QString& name) {
    std::vector<XmlMember> out;
    {
        const QString text = tdbus::InterfaceXmlText(name);
        EXPECT_FALSE(text.isEmpty()) << name.toStdString() << " is not compiled in";
        QXmlStreamReader xml(text);
        bool inside = false;
        while (!xml.atEnd()) {
            xml.readNext();
            if (xml.isStartElement() && xml.name() == QLatin1String("interface"))
                inside = xml.attributes().value("name") == name;
            if (!inside || !xml.isStartElement()) continue;
            const auto attrs = xml.attributes();
            if (xml.name() == QLatin1String("method") || xml.name() == QLatin1String("signal")) {
                out.push_back({xml.name().toString(), attrs.value("name").toString(), {}, {}, {}});
            } else if (xml.name() == QLatin1String("property")) {
                out.push_back({QStringLiteral("property"),
                               attrs.value("name").toString(),
                               attrs.value("type").toString(),
                               {},
                               attrs.value("access").toString()});
            } else if (xml.name() == QLatin1String("arg") && !out.empty()) {
                if (attrs.value("direction") == QLatin1String("out"))
                    out.back().out += attrs.value("type").toString();
                else
                    out.back().in += attrs.value("type").toString();
            }
        }
        EXPECT_FALSE(xml.hasError())
            << name.toStdString() << ": " << xml.errorString().toStdString();
    }
    return out;
}

TEST(InterfaceContract, ChannelInterfaceMatchesTheMemberTable) {
    const auto members = CommMembers();
    const auto xml = ReadInterface(QString::fromLatin1(kCommInterfaceName));
    ASSERT_EQ(xml.size(), members.size());
    for (std::size_t i = 0; i < members.size(); ++i) {
        const tfw::MemberInfo& m = members[i];
        const XmlMember& x = xml[i];
        SCOPED_TRACE(std::string(m.name));
        EXPECT_EQ(x.name.toStdString(), std::string(m.name));
        if (m.kind == tfw::MemberKind::Property) {
            EXPECT_EQ(x.kind, "property");
            EXPECT_EQ(x.in.toStdString(), tdbus::DBusSignatureOf(m.result));
            EXPECT_EQ(x.access, "readwrite");
        } else {
            EXPECT_EQ(x.kind, "method");
            EXPECT_EQ(x.in, tdbus::TypedInSignature(m));
            EXPECT_EQ(x.out, tdbus::TypedOutSignature(m));
        }
    }
}

TEST(InterfaceContract, TypedSignaturesFollowTheByReferenceRules) {
    const auto members = CommMembers();
    // A buffer goes in and comes back; other by-reference values only come back.
    EXPECT_EQ(tdbus::TypedInSignature(members[kDispReadFromPort - 1]), "ayn");
    EXPECT_EQ(tdbus::TypedOutSignature(members[kDispReadFromPort - 1]), "nay");
    EXPECT_EQ(tdbus::TypedInSignature(members[kDispGetPortSettings - 1]), "");
    EXPECT_EQ(tdbus::TypedOutSignature(members[kDispGetPortSettings - 1]), "binnn");
    EXPECT_EQ(tdbus::TypedOutSignature(members[kDispGetCommErrorName - 1]), "ay");
    EXPECT_EQ(tdbus::TypedInSignature(members[kDispConnectToPort - 1]), "ninnn");
    EXPECT_EQ(tdbus::TypedOutSignature(members[kDispClearRBuff - 1]), "");
}

TEST(InterfaceContract, ModemInterfaceAndGenericInterfaces) {
    const auto modem = ReadInterface(QStringLiteral("DaRi32.Document"));
    ASSERT_EQ(modem.size(), 14u);
    int properties = 0;
    for (const XmlMember& m : modem)
        if (m.kind == "property") {
            ++properties;
            EXPECT_EQ(m.access, "readwrite") << m.name.toStdString();
        }
    EXPECT_EQ(properties, 3);
    EXPECT_EQ(modem[0].in, "s");  // lpszResponse is a string

    const auto dispatch = ReadInterface(QStringLiteral("Tolvan32.Dispatch"));
    ASSERT_EQ(dispatch.size(), 2u);
    EXPECT_EQ(dispatch[1].in, "iiav");
    EXPECT_EQ(dispatch[1].out, "vav");
    const auto transfer = ReadInterface(QStringLiteral("Tolvan32.Transfer"));
    ASSERT_EQ(transfer.size(), 1u);
    EXPECT_EQ(transfer[0].in, "nii");
    const auto server = ReadInterface(QStringLiteral("Tolvan32.Server"));
    ASSERT_EQ(server.size(), 5u);
    EXPECT_EQ(server[2].in, "q");
    EXPECT_EQ(server[3].out, "a(nsbas)");
    EXPECT_EQ(server[4].out, "a(sssnb)");

    EXPECT_FALSE(tdbus::InterfaceElement(QStringLiteral("Tolvan32.Unknown")).isEmpty());
    EXPECT_TRUE(tdbus::InterfaceElement(QStringLiteral("No.Such")).isEmpty());
}

TEST(InterfaceContract, ChannelOperationsWithTheDocumentedSignaturesFitTheTable) {
    // The test channel declares the 36 operations with the C++ types the table header
    // documents; binding them must pass the check the real channel will face.
    EXPECT_EQ(tolvan::test::TestChannel::PlainClass().CheckBindings(), "");
}

}  // namespace
