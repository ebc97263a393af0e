#include <gtest/gtest.h>

#include "../util/FakeComponent.h"
#include "../util/QtPrinters.h"
#include "../util/RecordingWindow.h"
#include "core/CheckAndForward.h"
#include "core/DigestLayout.h"

using namespace testutil;

namespace {

class FixedClock : public core::Clock {
public:
    QDateTime now{QDate(2026, 12, 7), QTime(14, 3, 9)};
    QDateTime Now() const override { return now; }
};

FakeMail plain(const QString& address, const QString& subject = "件名",
               const QString& body = "本文です") {
    return FakeMail{body, "名前", address, "2026/12/07 09:05:00 +0900", subject, 0};
}

class CycleTest : public ::testing::Test {
protected:
    std::shared_ptr<CallLog> log = std::make_shared<CallLog>();
    core::SharedState state;
    FakePop3* pop3;
    FakeSmtp* smtp;
    RecordingWindow window;
    FixedClock clock;

    CycleTest() {
        auto p = std::make_unique<FakePop3>(log);
        auto s = std::make_unique<FakeSmtp>(log);
        pop3 = p.get();
        smtp = s.get();
        state.pop3 = std::move(p);
        state.smtp = std::move(s);
        state.forwardTo = "to@example.jp";
    }

    std::int16_t cycle() { return core::CheckAndForward(state, window, clock); }
};

TEST_F(CycleTest, NoNewMailChangesNothing) {
    window.lblInfo = "earlier";
    EXPECT_EQ(cycle(), 0);
    EXPECT_EQ(log->calls, QStringList{"pop3.RecvMail"});
    EXPECT_TRUE(pop3->autoSaveSets.empty());
    EXPECT_EQ(window.lblInfo, "earlier");
    EXPECT_TRUE(window.messages.isEmpty());
}

TEST_F(CycleTest, FailedReceiveFails) {
    pop3->recvResult = -3;
    EXPECT_EQ(cycle(), -1);
    EXPECT_EQ(log->calls, QStringList{"pop3.RecvMail"});
}

TEST_F(CycleTest, CheckOnlyWithTheWindowShownOnlyAnnounces) {
    state.checkOnly = core::kTrue;
    pop3->mailbox = {plain("a@x.jp"), plain("b@x.jp"), plain("c@x.jp")};
    EXPECT_EQ(cycle(), 0);
    EXPECT_EQ(window.messages, QStringList{"新たに3件のメールが届きました"});
    EXPECT_EQ(log->calls, QStringList{"pop3.RecvMail"});
    EXPECT_TRUE(window.tips.isEmpty());
    EXPECT_TRUE(window.lblInfo.isEmpty());
    EXPECT_EQ(pop3->autoSaveSets, std::vector<bool>{true}) << "AutoSave stays true";
}

TEST_F(CycleTest, CheckOnlyMarksTheMailsAnnouncedOnlyOnceTheBoxIsClosed) {
    state.checkOnly = core::kTrue;
    pop3->mailbox = {plain("a@x.jp")};
    std::vector<bool> marksWhileOpen = {false};
    window.whileBoxOpen = [&] { marksWhileOpen = pop3->autoSaveSets; };
    EXPECT_EQ(cycle(), 0);
    EXPECT_TRUE(marksWhileOpen.empty());
    EXPECT_EQ(pop3->autoSaveSets, std::vector<bool>{true});

    // The program ends while the box is open: nobody saw it, so nothing is marked.
    pop3->autoSaveSets.clear();
    window.whileBoxOpen = [&] { window.ended = true; };
    EXPECT_EQ(cycle(), 0);
    EXPECT_TRUE(pop3->autoSaveSets.empty());
}

TEST_F(CycleTest, CheckOnlyWithTheWindowHiddenAlsoRetitlesTheTray) {
    state.checkOnly = core::kTrue;
    window.visible = false;
    pop3->mailbox = {plain("a@x.jp")};
    pop3->mailCount = 5;
    EXPECT_EQ(cycle(), 0);
    EXPECT_EQ(window.messages, QStringList{"新たに1件のメールが届きました"});
    EXPECT_EQ(window.tips, QStringList{"5件の新着メール"});
}

TEST_F(CycleTest, DigestListsEveryMailWithItsLayout) {
    state.maxBodyChars = 3;
    state.rejectList = {"spam@x.jp"};
    pop3->mailbox = {
        FakeMail{"あいうえお", "山田", "yamada@x.jp", "2026/12/07 09:05:00 +0900", "会議", 2},
        FakeMail{"body", "same@x.jp", "same@x.jp", "2026/12/07 23:59:59 -0500", "S", 0},
        FakeMail{"x", "", "empty@x.jp", "2026/1/2 7:08:00 +0000", "T", 0},
        FakeMail{"hidden", "Spammer", "spam@x.jp", "2026/12/07 10:00:00 +0900", "buy", 1},
    };
    ASSERT_EQ(cycle(), 0);
    ASSERT_EQ(smtp->sent.size(), 1u);
    EXPECT_EQ(smtp->sent[0].recipient, "to@example.jp");
    EXPECT_EQ(smtp->sent[0].subject, "4件のメール");
    EXPECT_EQ(
        smtp->sent[0].body,
        "No.1 09:05\r\nfrom 山田 yamada@x.jp\r\n2個の添付ファイル\r\n会議\r\n-TEXT-\r\nあいう\r\n"
        "No.2 23:59\r\nfrom same@x.jp\r\nS\r\n-TEXT-\r\nbod\r\n"
        "No.3 07:08\r\nfrom  empty@x.jp\r\nT\r\n-TEXT-\r\nx\r\n"
        "No.4 10:00\r\nfrom Spammer spam@x.jp\r\n転送拒否\r\n");
    EXPECT_EQ(pop3->deleted, (std::vector<std::int32_t>{1, 2, 3, 4}));
    EXPECT_EQ(state.forwardedCount, 3) << "refused mails are not counted";
    EXPECT_EQ(window.lblInfo, "4件のメールを転送しました");
    EXPECT_EQ(window.lblTime, "2026/12/07 14:03:09");
    EXPECT_EQ(pop3->refreshes, 1);
    EXPECT_EQ(pop3->autoSaveSets, (std::vector<bool>{true, false}));
}

TEST_F(CycleTest, FullTextSendersAreForwardedWholeAndTakeNoEntryNumber) {
    state.fullTextList = {"boss@x.jp", "@partner.jp"};
    state.maxBodyChars = 2;
    pop3->mailbox = {
        FakeMail{"line1\r\nline2", "Boss", "boss@x.jp", "2026/12/07 09:00:00 +0900", "至急", 3},
        plain("a@x.jp", "one", "first"),
        FakeMail{"whole body", "P", "p@partner.jp", "2026/12/07 09:01:00 +0900", "p", 0},
        plain("b@x.jp", "two", "second"),
    };
    window.visible = false;
    ASSERT_EQ(cycle(), 0);
    ASSERT_EQ(smtp->sent.size(), 3u);
    EXPECT_EQ(smtp->sent[0].subject, "転送:至急");
    EXPECT_EQ(smtp->sent[0].body, "3個の添付ファイル\r\nline1\r\nline2");
    EXPECT_EQ(smtp->sent[1].subject, "転送:p");
    EXPECT_EQ(smtp->sent[1].body, "whole body") << "forwards carry the whole body";
    EXPECT_EQ(smtp->sent[2].subject, "4件のメール(2件全文)");
    EXPECT_TRUE(smtp->sent[2].body.startsWith("No.1 09:05\r\nfrom 名前 a@x.jp\r\none\r\n"));
    EXPECT_TRUE(smtp->sent[2].body.contains("No.2 09:05\r\nfrom 名前 b@x.jp\r\n"));
    EXPECT_FALSE(smtp->sent[2].body.contains("No.3"));
    EXPECT_EQ(state.forwardedCount, 4);
    EXPECT_EQ(window.lblInfo, "4件のメール(2件全文)を転送しました");
    EXPECT_EQ(window.tips, QStringList{"4件転送済み"});
}

TEST_F(CycleTest, AllForwardedWholeSendsNoDigest) {
    state.fullTextList = {"a@x.jp"};
    pop3->mailbox = {plain("a@x.jp"), plain("a@x.jp")};
    ASSERT_EQ(cycle(), 0);
    EXPECT_EQ(smtp->sent.size(), 2u);
    EXPECT_EQ(log->count("smtp.Mail"), 2) << "the digest is addressed but not sent";
    EXPECT_EQ(window.lblInfo, "2件のメール(2件全文)を転送しました");
    EXPECT_EQ(pop3->refreshes, 1);
}

TEST_F(CycleTest, AllRefusedSendsNothing) {
    state.rejectList = {"a@x.jp"};
    state.fullTextList = {"a@x.jp"};
    pop3->mailbox = {plain("a@x.jp"), plain("a@x.jp")};
    window.visible = false;
    ASSERT_EQ(cycle(), 0);
    EXPECT_TRUE(smtp->sent.empty()) << "a sender on both lists is refused";
    EXPECT_EQ(window.lblInfo, "転送拒否メールを転送しませんでした");
    EXPECT_EQ(window.lblTime, "2026/12/07 14:03:09");
    EXPECT_TRUE(window.tips.isEmpty());
    EXPECT_EQ(state.forwardedCount, 0);
    EXPECT_EQ(pop3->deleted.size(), 2u);
    EXPECT_EQ(pop3->refreshes, 1);
}

TEST_F(CycleTest, NewMailThatCannotBeOpenedReportsNothingForwarded) {
    pop3->recvResult = 2;  // RecvMail says 2, OpenNewMail has none to give
    ASSERT_EQ(cycle(), 0);
    EXPECT_EQ(window.lblInfo, "転送拒否メールを転送しませんでした");
    EXPECT_TRUE(smtp->sent.empty());
}

struct MatchCase {
    const char* name;
    QStringList reject, fullText;
    QString address;
    bool forwardedWhole;
};

class ListMatching : public CycleTest, public ::testing::WithParamInterface<MatchCase> {};

TEST_P(ListMatching, DecidesBetweenWholeAndDigest) {
    state.rejectList = GetParam().reject;
    state.fullTextList = GetParam().fullText;
    pop3->mailbox = {plain(GetParam().address)};
    ASSERT_EQ(cycle(), 0);
    ASSERT_EQ(smtp->sent.size(), 1u);
    EXPECT_EQ(smtp->sent[0].subject.startsWith("転送:"), GetParam().forwardedWhole);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ListMatching,
    ::testing::Values(
        MatchCase{"exact", {}, {"a@x.jp"}, "a@x.jp", true},
        MatchCase{"case differs", {}, {"A@x.jp"}, "a@x.jp", false},
        MatchCase{"domain", {}, {"@x.jp"}, "a@x.jp", true},
        MatchCase{"domain case differs", {}, {"@X.jp"}, "a@x.jp", false},
        MatchCase{"sub domain", {}, {"@x.jp"}, "a@mail.x.jp", false},
        MatchCase{"domain from the first at", {}, {"@b@x.jp"}, "a@b@x.jp", true},
        MatchCase{"no at in address", {}, {"@x.jp"}, "postmaster", false},
        MatchCase{"no at, whole match", {}, {"postmaster"}, "postmaster", true},
        MatchCase{"reject domain entry refuses nobody", {"@x.jp"}, {"@x.jp"}, "a@x.jp", true},
        MatchCase{"partial entry", {}, {"a@x"}, "a@x.jp", false}),
    [](const auto& info) {
        QString name = QString::fromUtf8(info.param.name);
        name.replace(' ', '_').replace(',', '_');
        return name.toStdString();
    });

TEST_F(CycleTest, EntryNumbersCountDigestEntriesOnlyAndRestartEachCycle) {
    state.rejectList = {"r@x.jp"};
    state.fullTextList = {"f@x.jp"};
    pop3->mailbox = {plain("f@x.jp"), plain("r@x.jp"), plain("a@x.jp")};
    ASSERT_EQ(cycle(), 0);
    const QString first = smtp->sent.back().body;
    EXPECT_TRUE(first.startsWith("No.1 09:05\r\nfrom 名前 r@x.jp\r\n転送拒否\r\nNo.2 "));
    pop3->mailbox = {plain("a@x.jp")};
    ASSERT_EQ(cycle(), 0);
    EXPECT_TRUE(smtp->sent.back().body.startsWith("No.1 "));
    EXPECT_EQ(smtp->sent.back().subject, "1件のメール");
}

struct FailStep {
    const char* name;
    std::function<void(FakePop3&, FakeSmtp&)> breakIt;
    bool digestStage;  // fails after the loop set AutoSave false
    std::size_t deletedBefore;
};

class CycleFailure : public CycleTest, public ::testing::WithParamInterface<FailStep> {};

TEST_P(CycleFailure, EndsAtOnceAndLeavesTheLabelsAlone) {
    state.fullTextList = {"f@x.jp"};
    pop3->mailbox = {plain("a@x.jp"), plain("f@x.jp")};
    GetParam().breakIt(*pop3, *smtp);
    window.lblInfo = "before";
    EXPECT_EQ(cycle(), -1);
    EXPECT_EQ(window.lblInfo, "before");
    EXPECT_TRUE(window.lblTime.isEmpty());
    EXPECT_EQ(pop3->refreshes, 0);
    EXPECT_EQ(pop3->autoSave, !GetParam().digestStage);
    EXPECT_EQ(pop3->deleted.size(), GetParam().deletedBefore);
    for (const auto& sent : smtp->sent) EXPECT_TRUE(sent.subject.startsWith("転送:"));
}

INSTANTIATE_TEST_SUITE_P(
    Steps, CycleFailure,
    ::testing::Values(
        FailStep{"open", [](FakePop3& p, FakeSmtp&) { p.openFailAt = 1; }, false, 1},
        FailStep{"forwardRecipient", [](FakePop3&, FakeSmtp& s) { s.recipientResult = false; },
                 false, 1},
        FailStep{"forwardSubject", [](FakePop3&, FakeSmtp& s) { s.subjectResult = false; }, false,
                 1},
        FailStep{"forwardDetail", [](FakePop3&, FakeSmtp& s) { s.detailResult = false; }, false, 1},
        FailStep{"forwardMail", [](FakePop3&, FakeSmtp& s) { s.failMailAt = {0}; }, false, 1},
        FailStep{"digestMail", [](FakePop3&, FakeSmtp& s) { s.failMailAt = {1}; }, true, 2}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(CycleTest, ForwardedCountCountsAMailOnceItIsDelivered) {
    pop3->mailbox = {plain("a@x.jp"), plain("b@x.jp")};
    smtp->failMailAt = {0};
    EXPECT_EQ(cycle(), -1);
    EXPECT_EQ(state.forwardedCount, 0) << "the refused digest delivered nothing";
    // The mails stayed on the server; the next check lists them again.
    pop3->mailbox = {plain("a@x.jp"), plain("b@x.jp")};
    EXPECT_EQ(cycle(), 0);
    EXPECT_EQ(state.forwardedCount, 2);
}

TEST_F(CycleTest, AWholeForwardRefusedForGoodIsListedAndTheRestGoesThrough) {
    state.fullTextList = {"boss@x.jp"};
    pop3->mailbox = {plain("boss@x.jp", "big"), plain("boss@x.jp", "small"), plain("a@x.jp")};
    smtp->failMailAt = {0};
    smtp->failPermanently = true;
    ASSERT_EQ(cycle(), 0);
    ASSERT_EQ(smtp->sent.size(), 2u);
    EXPECT_EQ(smtp->sent[0].subject, "転送:small");
    EXPECT_EQ(smtp->sent[1].subject, "3件のメール(1件全文)");
    EXPECT_TRUE(smtp->sent[1].body.startsWith(
        "No.1 09:05\r\nfrom 名前 boss@x.jp\r\nbig\r\n-TEXT-\r\n" +
        core::RefusedForwardNote("scripted failure") + "\r\n本文です\r\n"));
    EXPECT_EQ(window.lblInfo, core::RefusedForwardStatus("scripted failure"));
    EXPECT_EQ(state.forwardedCount, 3);
    EXPECT_EQ(pop3->deleted.size(), 3u) << "listed like any other; the component keeps it";
}

TEST_F(CycleTest, ADigestRefusedForGoodIsSentAgainInPartsWithoutTheRefusedMail) {
    state.rejectList = {"spam@x.jp"};
    pop3->mailbox = {plain("a@x.jp"),         plain("b@x.jp"), plain("spam@x.jp"),
                     plain("c@x.jp", "MARK"), plain("d@x.jp"), plain("e@x.jp")};
    smtp->refuseBodyWith = "MARK";
    ASSERT_EQ(cycle(), 0);
    QString delivered;
    for (const auto& sent : smtp->sent) {
        EXPECT_EQ(sent.subject, "6件のメール");
        delivered += sent.body;
    }
    for (const char* other : {"a@x.jp", "b@x.jp", "d@x.jp", "e@x.jp"})
        EXPECT_EQ(delivered.count(QStringLiteral("名前 ") + other), 1) << other;
    EXPECT_FALSE(delivered.contains("MARK"));
    EXPECT_EQ(window.lblInfo, core::RefusedEntryStatus("No.4 c@x.jp MARK", "scripted failure"));
    EXPECT_EQ(state.forwardedCount, 4);
    EXPECT_EQ(pop3->refreshes, 1);
}

// A server that refuses every part refuses for a reason that is no one mail's: the check
// fails and every mail waits for the next one, none set aside for ever.
TEST_F(CycleTest, ADigestRefusedInEveryPartSetsNoMailAside) {
    pop3->mailbox = {plain("a@x.jp"), plain("b@x.jp"), plain("c@x.jp")};
    smtp->refuseBodyWith = "No.";
    EXPECT_NE(cycle(), 0);
    EXPECT_TRUE(smtp->sent.empty());
    EXPECT_EQ(pop3->refreshes, 0) << "nothing deleted";
    EXPECT_FALSE(window.lblInfo.contains("No."))
        << "no mail named as refused: " << window.lblInfo.toStdString();
}

struct LimitCase {
    const char* name;
    core::CheckLimits limits;
    int secondsPerMail;  // the clock moves on by this much while each mail is handled
};

class CheckLimit : public CycleTest, public ::testing::WithParamInterface<LimitCase> {};

TEST_P(CheckLimit, ABacklogGoesThroughInCommittedChecks) {
    for (const char* address : {"a@x.jp", "b@x.jp", "c@x.jp", "d@x.jp", "e@x.jp"})
        pop3->mailbox.push_back(plain(address));
    window.onEvents = [&](int) { clock.now = clock.now.addSecs(GetParam().secondsPerMail); };
    QStringList subjects;
    std::vector<bool> again;
    for (int check = 0; check < 3; ++check) {
        ASSERT_EQ(core::CheckAndForward(state, window, clock, GetParam().limits), 0);
        subjects << smtp->sent.back().subject;
        again.push_back(std::exchange(state.moreMailWaiting, core::kFalse));
    }
    EXPECT_EQ(subjects, (QStringList{"2件のメール", "2件のメール", "1件のメール"}));
    EXPECT_EQ(again, (std::vector<bool>{true, true, false}));
    EXPECT_EQ(pop3->refreshes, 3);
    EXPECT_EQ(state.forwardedCount, 5);
}

INSTANTIATE_TEST_SUITE_P(Limits, CheckLimit,
                         ::testing::Values(LimitCase{"mails", {2, 600}, 0},
                                           LimitCase{"time", {1000, 600}, 400}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(CycleTest, ForwardedCountStopsAtItsTop) {
    state.forwardedCount = std::numeric_limits<std::int32_t>::max() - 1;
    pop3->mailbox = {plain("a@x.jp"), plain("b@x.jp"), plain("c@x.jp")};
    ASSERT_EQ(cycle(), 0);
    EXPECT_EQ(state.forwardedCount, std::numeric_limits<std::int32_t>::max());
}

TEST_F(CycleTest, ListsAreWalkedAsLoadedNotAsCounted) {
    state.rejectList = {"a@x.jp"};
    state.rejectCount = 0;    // the window deleted the entry but nothing was saved
    state.fullTextCount = 5;  // and added entries that were not saved
    pop3->mailbox = {plain("a@x.jp")};
    ASSERT_EQ(cycle(), 0);
    EXPECT_EQ(window.lblInfo, "転送拒否メールを転送しませんでした");
}

TEST_F(CycleTest, AReloadBetweenMailsAppliesFromTheNextMail) {
    pop3->mailbox = {plain("a@x.jp"), plain("a@x.jp")};
    window.onEvents = [&](int n) {
        if (n == 1) {
            state.fullTextList = {"a@x.jp"};
            state.forwardTo = "new@x.jp";
        }
    };
    ASSERT_EQ(cycle(), 0);
    ASSERT_EQ(smtp->sent.size(), 2u);
    EXPECT_EQ(smtp->sent[0].subject, "転送:件名");
    EXPECT_EQ(smtp->sent[0].recipient, "new@x.jp");
    EXPECT_EQ(smtp->sent[1].subject, "2件のメール(1件全文)");
}

TEST_F(CycleTest, TheWindowClosingMidCycleStopsWithoutCommitting) {
    pop3->mailbox = {plain("a@x.jp"), plain("b@x.jp")};
    window.onEvents = [&](int) { window.ended = true; };
    cycle();
    EXPECT_EQ(log->count("pop3.OpenNewMail"), 1);
    EXPECT_EQ(pop3->refreshes, 0);
    EXPECT_TRUE(smtp->sent.empty());
}

struct QuoteCase {
    QString body;
    std::int32_t max;
    QString expected;
};

class BodyQuote : public ::testing::TestWithParam<QuoteCase> {};

TEST_P(BodyQuote, QuotesAtMostMaxBodyCharsCodeUnits) {
    EXPECT_EQ(core::QuotedBody(GetParam().body, GetParam().max), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cuts, BodyQuote,
    ::testing::Values(QuoteCase{"abcdef", 3, "abc"}, QuoteCase{"abcdef", 0, "abcdef"},
                      QuoteCase{"abcdef", 6, "abcdef"}, QuoteCase{"abcdef", 100, "abcdef"},
                      QuoteCase{"abcdef", -5, "abcdef"}, QuoteCase{"", 3, ""},
                      QuoteCase{QString::fromUtf8("a😀b"), 2, "a"},
                      QuoteCase{QString::fromUtf8("a😀b"), 3, QString::fromUtf8("a😀")},
                      QuoteCase{QString::fromUtf8("𠮷野家"), 1, ""},
                      QuoteCase{"ab\r\ncd", 4, "ab\r\n"}));

struct TimeCase {
    QString date;
    QString expected;
};

class TimeText : public ::testing::TestWithParam<TimeCase> {};

TEST_P(TimeText, ReadsTheHourAsWrittenOrFallsBackToNow) {
    const QDateTime now(QDate(2026, 12, 7), QTime(14, 3, 9));
    EXPECT_EQ(core::TimeText(GetParam().date, now), GetParam().expected)
        << GetParam().date.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Dates, TimeText,
                         ::testing::Values(TimeCase{"2026/12/07 09:05:00 +0900", "09:05"},
                                           TimeCase{"2026/12/07 23:59:59 -1200", "23:59"},
                                           TimeCase{"2026/3/29 02:30:00 +0100", "02:30"},
                                           TimeCase{"2026-12-07 09:05 +0900", "09:05"},
                                           TimeCase{"2026/12/07 9:05:00 +0900", "09:05"},
                                           TimeCase{"", "14:03"}, TimeCase{"short", "14:03"},
                                           TimeCase{"not a date at all", "14:03"},
                                           TimeCase{"2026/13/40 25:99:00 +0900", "14:03"}));

}  // namespace
