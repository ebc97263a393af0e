// The client's SASL lines, byte for byte as the RFCs and the providers spell them, and
// which mechanism a server's list leads to.

#include <gtest/gtest.h>

#include "mail/net/Sasl.h"

namespace {

using net::SaslMechanism;

struct SaslCase {
    SaslMechanism mechanism;
    const char* user;
    const char* host;
    int port;
    std::vector<const char*> lines;  // base64, as sent
    const char* afterError;
};

class SaslLines : public ::testing::TestWithParam<SaslCase> {};

TEST_P(SaslLines, AreWhatTheServerDecodes) {
    const SaslCase& c = GetParam();
    const auto lines = net::SaslResponses(
        c.mechanism, {QString::fromUtf8(c.user),
                      c.mechanism == SaslMechanism::Plain || c.mechanism == SaslMechanism::Login
                          ? QStringLiteral("pw")
                          : QStringLiteral("tok"),
                      QString::fromUtf8(c.host), c.port});
    ASSERT_EQ(lines.size(), c.lines.size());
    for (size_t i = 0; i < lines.size(); ++i) EXPECT_EQ(lines[i].toStdString(), c.lines[i]);
    EXPECT_EQ(net::SaslErrorAcknowledgement(c.mechanism).toStdString(), c.afterError);
}

INSTANTIATE_TEST_SUITE_P(
    Mechanisms, SaslLines,
    ::testing::Values(SaslCase{SaslMechanism::Plain, "me", "", 0, {"AG1lAHB3"}, ""},
                      SaslCase{SaslMechanism::Login, "me", "", 0, {"bWU=", "cHc="}, ""},
                      SaslCase{SaslMechanism::XOAuth2,
                               "me@example.com",
                               "pop.example.jp",
                               995,
                               {"dXNlcj1tZUBleGFtcGxlLmNvbQFhdXRoPUJlYXJlciB0b2sBAQ=="},
                               ""},
                      // RFC 7628 §3.1 with the RFC 5801 escapes of '=' and ',' in the identity.
                      SaslCase{SaslMechanism::OAuthBearer,
                               "a=b,c",
                               "pop.example.jp",
                               995,
                               {"bixhPWE9M0RiPTJDYywBaG9zdD1wb3AuZXhhbXBsZS5qcAFwb3J0PTk5NQFhdXRoPU"
                                "JlYXJlciB0b2sBAQ=="},
                               "AQ=="}));

struct ChoiceCase {
    QStringList offered;
    bool token;
    SaslMechanism chosen;
};

class SaslChoice : public ::testing::TestWithParam<ChoiceCase> {};

TEST_P(SaslChoice, FollowsTheServersList) {
    EXPECT_EQ(net::ChooseSaslMechanism(GetParam().offered, GetParam().token), GetParam().chosen);
}

INSTANTIATE_TEST_SUITE_P(
    Lists, SaslChoice,
    ::testing::Values(
        ChoiceCase{{"PLAIN", "XOAUTH2", "oauthbearer"}, true, SaslMechanism::OAuthBearer},
        ChoiceCase{{"PLAIN", "XOAUTH2"}, true, SaslMechanism::XOAuth2},
        ChoiceCase{{}, true, SaslMechanism::XOAuth2},
        ChoiceCase{{"LOGIN", "plain"}, false, SaslMechanism::Plain},
        ChoiceCase{{"LOGIN"}, false, SaslMechanism::Login}));

}  // namespace
