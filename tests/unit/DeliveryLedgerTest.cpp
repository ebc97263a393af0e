// What an accepted mail records, by what the ledger knew of it. A mail that must stay
// on the server and is recorded as delivered would be deleted at the next check.

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include "mail/ledger/DeliveryLedger.h"

namespace {

enum class Fact { Delivered, Kept, Nothing };

struct AcceptCase {
    const char* name;
    ledger::LedgerMail mail;
    bool forwardedWhole;  // open when accepted; otherwise listed in the accepted digest
    bool refusedEarlier;
    Fact expected;
};

class LedgerAccepts : public ::testing::TestWithParam<AcceptCase> {};

TEST_P(LedgerAccepts, RecordsWhatTheMailNeeds) {
    const AcceptCase& c = GetParam();
    QTemporaryDir folder;
    const QString path = folder.filePath("journal");
    {
        ledger::DeliveryLedger ledger(path);
        ledger.OpenJournal("user\npop3://host:110");
        ledger.BeginCheck();
        if (c.refusedEarlier) {
            ledger.SetOpenMail(c.mail);
            ledger.RecordRefused("554 refused");
        }
        ledger.SetOpenMail(c.mail);
        if (!c.forwardedWhole) {
            ledger.AddListed(*ledger.OpenMail());
            ledger.SetOpenMail(std::nullopt);
        }
        ledger.RecordAccepted();
    }
    // What a new start reads back.
    ledger::Journal journal(path, "user\npop3://host:110");
    const QString uid = c.mail.uid.isEmpty() ? QStringLiteral("u1") : c.mail.uid;
    EXPECT_EQ(journal.IsDelivered(uid), c.expected == Fact::Delivered);
    EXPECT_EQ(journal.IsKept(uid), c.expected == Fact::Kept);
}

INSTANTIATE_TEST_SUITE_P(
    Mails, LedgerAccepts,
    ::testing::Values(AcceptCase{"forward", {"u1", "k", false}, true, false, Fact::Delivered},
                      AcceptCase{"digest", {"u1", "k", false}, false, false, Fact::Delivered},
                      AcceptCase{"tooLargeForward", {"u1", "k", true}, true, false, Fact::Kept},
                      AcceptCase{"tooLargeListed", {"u1", "k", true}, false, false, Fact::Kept},
                      AcceptCase{"refusedThenListed", {"u1", "k", false}, false, true, Fact::Kept},
                      AcceptCase{"uidGivenTwice", {"", "k", false}, false, false, Fact::Nothing}),
    [](const auto& info) { return std::string(info.param.name); });

// A digest refused for good delivers nothing; one of a single mail marks it refused.
TEST(Ledger, ADigestRefusedForGoodDeliversNothingAndKeepsItsOnlyMail) {
    QTemporaryDir folder;
    const QString path = folder.filePath("journal");
    {
        ledger::DeliveryLedger ledger(path);
        ledger.OpenJournal("user\npop3://host:110");
        ledger.BeginCheck();
        ledger.AddListed({"u1", "k1", false, 1});
        ledger.AddListed({"u2", "k2", false, 2});
        ledger.RecordRefused("554 refused");
        ledger.AddListed({"u2", "k2", false, 2});
        ledger.RecordRefused("554 refused");
        ledger.AddListed({"u1", "k1", false, 1});
        ledger.RecordAccepted();
        QList<std::int32_t> committed;
        for (const ledger::LedgerMail& mail : ledger.Committed())
            if (!mail.keep) committed << mail.mailNo;
        EXPECT_EQ(committed, QList<std::int32_t>{1});
    }
    ledger::Journal journal(path, "user\npop3://host:110");
    EXPECT_TRUE(journal.IsDelivered("u1"));
    EXPECT_FALSE(journal.IsDelivered("u2"));
    EXPECT_TRUE(journal.IsKept("u2"));
    EXPECT_EQ(journal.Refusal("u2"), std::optional<QString>("554 refused"));
}

TEST(Ledger, TheModeIsTakenOnceAndOnlyFromASuccessfulSetUp) {
    ledger::DeliveryLedger ledger(QStringLiteral("/nonexistent/journal"));
    ledger.SetSmtpReady(true);
    EXPECT_TRUE(ledger.TakeSmtpReady());
    EXPECT_FALSE(ledger.TakeSmtpReady()) << "a POP3 set-up without SMTP means Check-only";
}

}  // namespace

// A journal that cannot be read or written is reported, never taken as empty.
TEST(LedgerJournal, AnUnusableJournalIsReportedWithItsPath) {
    QTemporaryDir folder;
    const QString path = folder.filePath("journal");
    ASSERT_TRUE(QDir().mkdir(path));  // not a file: neither readable nor writable as one
    ledger::DeliveryLedger ledger(path);
    const QString problem = ledger.OpenJournal("user\npop3://host:110");
    EXPECT_TRUE(problem.contains(path)) << problem.toStdString();
    EXPECT_FALSE(ledger.journal()->MarkDelivered("u1"));
    EXPECT_TRUE(ledger::DeliveryLedger(folder.filePath("other")).OpenJournal("a").isEmpty());
}
