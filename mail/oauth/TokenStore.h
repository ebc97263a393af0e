#pragma once
// Where the tokens live: in the Secret Service (through QtKeychain) when a keyring answers
// on the session bus, else in a file readable by its owner only (tokens.json in the
// folder given, $XDG_STATE_HOME/tarnpost/ by default), with a log line saying so. The
// choice is made at the first use and kept. Calls run a local event loop that takes no
// user input, so they may be made from the UI thread. Tokens never reach the log.

#include <QString>
#include <optional>

#include "Token.h"
#include "mail/net/Result.h"

namespace oauth {

// $XDG_STATE_HOME/tarnpost, or ~/.local/state/tarnpost.
QString DefaultTokenFolder();

class TokenStore {
public:
    enum class Place { Undecided, Keyring, File };

    explicit TokenStore(QString fileFolder = DefaultTokenFolder());

    // Nothing (no error) when the account has no tokens stored.
    net::Result<std::optional<Token>> Load(const QString& account);
    net::Status Save(const QString& account, const Token& token);
    Place Where() const { return place_; }
    QString FilePath() const;

private:
    void decide();
    net::Result<QJsonObject> readFile() const;
    net::Status writeFile(const QJsonObject& all) const;

    QString folder_;
    Place place_ = Place::Undecided;
};

}  // namespace oauth
