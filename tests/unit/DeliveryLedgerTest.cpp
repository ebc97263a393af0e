// What the ledger records for each event the two objects tell it, and what it does when
// the journal cannot record. A mail that must stay on the server and is recorded as
// delivered would be deleted at the next check; a delivery that is not recorded would be
// sent again.

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include "../util/SmallDisk.h"
#include "mail/ledger/DeliveryLedger.h"

namespace {

const QString kAccount = QStringLiteral("user\npop3://host:110");

enum class Fact { Delivered, Kept, Nothing };
enum class Send { Forward, Digest, NoDigest };

struct EventCase {
    const char* name;
    ledger::LedgerMail mail;
    Send send;  // forwarded whole, listed in an accepted digest, or listed with none sent
    bool refusedEarlier;
    bool listed;  // the cycle has done with it before the digest
    Fact expected;
    bool deleted;
};

class LedgerEvents : public ::testing::TestWithParam<EventCase> {};

TEST_P(LedgerEvents, RecordWhatTheMailNeeds) {
    const EventCase& c = GetParam();
    QTemporaryDir folder;
    const QString path = folder.filePath("journal");
    std::vector<int> deletable;
    {
        ledger::DeliveryLedger ledger(path);
        ASSERT_TRUE(ledger.OpenJournal(kAccount).isEmpty());
        if (c.refusedEarlier) {
            ASSERT_FALSE(ledger.BeginCheck({"u1"}));
            ledger.ForwardBegins(c.mail);
            ASSERT_FALSE(ledger.RecordRefused("554 refused"));
        }
        ASSERT_FALSE(ledger.BeginCheck({"u1"}));
        ledger.ForwardBegins(c.mail);
        if (c.refusedEarlier) {
            EXPECT_EQ(ledger.ForwardRefusal(), QString("554 refused"));
        }
        if (c.send == Send::Forward) {
            ASSERT_FALSE(ledger.RecordAccepted());
        }
        if (c.listed) {
            EXPECT_TRUE(ledger.Listed(1));
        }
        ledger.DigestBegins();
        EXPECT_TRUE(ledger.ForwardKey().isEmpty()) << "the digest has a random Message-ID";
        if (c.send == Send::Digest) {
            ASSERT_FALSE(ledger.RecordAccepted());
        }
        if (c.listed) {
            ASSERT_FALSE(ledger.ListedDelivered(&deletable));
        }
    }
    // What a new start reads back.
    ledger::Journal journal(path, kAccount);
    const QString uid = c.mail.uid.isEmpty() ? QStringLiteral("u1") : c.mail.uid;
    EXPECT_EQ(journal.IsDelivered(uid), c.expected == Fact::Delivered);
    EXPECT_EQ(journal.IsKept(uid), c.expected == Fact::Kept);
    EXPECT_EQ(deletable, c.deleted ? std::vector<int>{7} : std::vector<int>{});
}

INSTANTIATE_TEST_SUITE_P(
    Mails, LedgerEvents,
    ::testing::Values(
        EventCase{
            "forward", {"u1", "k", false, 7}, Send::Forward, false, true, Fact::Delivered, true},
        EventCase{
            "digest", {"u1", "k", false, 7}, Send::Digest, false, true, Fact::Delivered, true},
        EventCase{"listedWithoutDigest",
                  {"u1", "k", false, 7},
                  Send::NoDigest,
                  false,
                  true,
                  Fact::Delivered,
                  true},
        EventCase{"handedOutNotListed",
                  {"u1", "k", false, 7},
                  Send::Digest,
                  false,
                  false,
                  Fact::Nothing,
                  false},
        EventCase{
            "tooLargeForward", {"u1", "k", true, 7}, Send::Forward, false, true, Fact::Kept, false},
        EventCase{
            "tooLargeListed", {"u1", "k", true, 7}, Send::Digest, false, true, Fact::Kept, false},
        EventCase{"refusedThenListed",
                  {"u1", "k", false, 7},
                  Send::Digest,
                  true,
                  true,
                  Fact::Kept,
                  false},
        EventCase{
            "uidGivenTwice", {"", "k", false, 7}, Send::Digest, false, true, Fact::Nothing, true}),
    [](const auto& info) { return std::string(info.param.name); });

// A digest refused for good delivers nothing; one of a single mail marks it refused.
TEST(Ledger, ADigestRefusedForGoodDeliversNothingAndKeepsItsOnlyMail) {
    QTemporaryDir folder;
    const QString path = folder.filePath("journal");
    {
        ledger::DeliveryLedger ledger(path);
        ASSERT_TRUE(ledger.OpenJournal(kAccount).isEmpty());
        ASSERT_FALSE(ledger.BeginCheck({"u1", "u2"}));
        ledger.ForwardBegins({"u1", "k1", false, 11});
        ledger.Listed(1);
        ledger.ForwardBegins({"u2", "k2", false, 12});
        ledger.Listed(2);
        ASSERT_FALSE(ledger.RecordRefused("554 refused"));
        ledger.Listed(2);
        ASSERT_FALSE(ledger.RecordRefused("554 refused"));
        ledger.Listed(1);
        ASSERT_FALSE(ledger.RecordAccepted());
        std::vector<int> deletable;
        ASSERT_FALSE(ledger.ListedDelivered(&deletable));
        EXPECT_EQ(deletable, std::vector<int>{11});
    }
    ledger::Journal journal(path, "user\npop3://host:110");
    EXPECT_TRUE(journal.IsDelivered("u1"));
    EXPECT_FALSE(journal.IsDelivered("u2"));
    EXPECT_TRUE(journal.IsKept("u2"));
    EXPECT_EQ(journal.Refusal("u2"), std::optional<QString>("554 refused"));
}

TEST(Ledger, TheModeIsTakenOnceAndOnlyFromASuccessfulSetUp) {
    ledger::DeliveryLedger ledger(QStringLiteral("/nonexistent/journal"));
    ledger.SmtpSetUp(true);
    EXPECT_EQ(ledger.Pop3SetUpBegins(), ledger::Mode::Forwarding);
    EXPECT_EQ(ledger.Pop3SetUpBegins(), ledger::Mode::CheckOnly)
        << "a POP3 set-up without SMTP means Check-only";
    ledger.SmtpSetUp(false);
    EXPECT_EQ(ledger.Pop3SetUpBegins(), ledger::Mode::CheckOnly);
}

TEST(Ledger, AcceptedWithNothingBegunRecordsNothing) {
    QTemporaryDir folder;
    ledger::DeliveryLedger ledger(folder.filePath("journal"));
    ASSERT_TRUE(ledger.OpenJournal(kAccount).isEmpty());
    ASSERT_FALSE(ledger.BeginCheck({"u1"}));
    ledger.ForwardBegins({"u1", "k", false, 1});
    ASSERT_FALSE(ledger.RecordAccepted());
    ASSERT_FALSE(ledger.BeginCheck({"u1", "u2"}));
    ledger.ForwardBegins({"u2", "k2", false, 2});
    ledger.DigestBegins();
    ASSERT_FALSE(ledger.RecordAccepted()) << "a digest listing nothing";
    EXPECT_FALSE(ledger.IsDelivered("u2"));
    EXPECT_TRUE(ledger.IsDelivered("u1"));
}

}  // namespace

// A journal that cannot be read or written is reported, never taken as empty.
TEST(LedgerJournal, AnUnusableJournalIsReportedWithItsPath) {
    QTemporaryDir folder;
    const QString path = folder.filePath("journal");
    ASSERT_TRUE(QDir().mkdir(path));  // not a file: neither readable nor writable as one
    ledger::DeliveryLedger ledger(path);
    const QString problem = ledger.OpenJournal(kAccount);
    EXPECT_TRUE(problem.contains(path)) << problem.toStdString();
    const ledger::Failure failed = ledger.BeginCheck({"u1"});
    ASSERT_TRUE(failed);
    EXPECT_TRUE(failed->contains(path));
    EXPECT_TRUE(QFileInfo(path).isDir()) << "kept as it was";
    EXPECT_TRUE(ledger::DeliveryLedger(folder.filePath("other")).OpenJournal("a").isEmpty());
}

// In a read-only folder neither a new journal nor an existing one can be written.
TEST(LedgerJournal, AReadOnlyFolderFailsTheSetUp) {
    testutil::SmallDisk disk;
    const QString existing = disk.FilePath("existing");
    {
        ledger::DeliveryLedger ledger(existing);
        ASSERT_TRUE(ledger.OpenJournal(kAccount).isEmpty());
        ASSERT_FALSE(ledger.BeginCheck({"u1"}));
        ledger.ForwardBegins({"u1", "k", false, 1});
        ASSERT_FALSE(ledger.RecordAccepted());
    }
    disk.MakeReadOnly();
    for (const QString& path : {disk.FilePath("new"), existing}) {
        ledger::DeliveryLedger ledger(path);
        const QString problem = ledger.OpenJournal(kAccount);
        EXPECT_TRUE(problem.contains(path) && problem.contains("written")) << problem.toStdString();
    }
    EXPECT_TRUE(ledger::Journal(existing, kAccount).IsDelivered("u1"));
}

// A full disk fails the record and the next check's start; once there is room again the
// fact is written before anything else, and a new start knows it.
TEST(LedgerJournal, AFullDiskFailsTheCheckUntilTheFactIsWritten) {
    testutil::SmallDisk disk;
    const QString path = disk.FilePath("journal");
    ledger::DeliveryLedger ledger(path);
    ASSERT_TRUE(ledger.OpenJournal(kAccount).isEmpty());
    ASSERT_FALSE(ledger.BeginCheck({"u1"}));
    ledger.ForwardBegins({"u1", "k", false, 1});
    disk.Fill();
    const ledger::Failure failed = ledger.RecordAccepted();
    ASSERT_TRUE(failed) << "a delivery the journal did not record";
    EXPECT_TRUE(failed->contains(path)) << failed->toStdString();
    const ledger::Failure again = ledger.BeginCheck({"u1"});
    ASSERT_TRUE(again) << "the next check goes on without the record";
    EXPECT_FALSE(ledger::Journal(path, kAccount).IsDelivered("u1"));
    disk.Free();
    EXPECT_FALSE(ledger.BeginCheck({"u1"}));
    EXPECT_TRUE(ledger::Journal(path, kAccount).IsDelivered("u1"));
}
