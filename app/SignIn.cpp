#include "SignIn.h"

#include <QProcess>
#include <atomic>
#include <vector>

#include "AppLog.h"
#include "core/SettingsFile.h"
#include "core/SharedState.h"
#include "mail/net/ServerAddress.h"
#include "mail/oauth/BrowserFlow.h"
#include "mail/oauth/DeviceFlow.h"
#include "mail/oauth/TokenStore.h"
#include "mail/oauth/TrustedAccess.h"

namespace app {
namespace {

struct Account {
    QString protocol, user, host;
    int port;
    oauth::Provider provider;
};

void say(std::FILE* stream, const QString& text) {
    std::fprintf(stream, "tarnpost: %s\n", qPrintable(text));
    std::fflush(stream);
}

// The +oauth2 servers of the settings; error set when one cannot be used.
std::vector<Account> oauthAccounts(const core::SharedState& state, const QString& providerFile,
                                   QString* error) {
    std::vector<Account> accounts;
    auto add = [&](const QString& setting, net::Protocol protocol, const QString& user) {
        if (setting.trimmed().isEmpty() || !error->isEmpty()) return;
        QString why;
        const auto server = net::ParseServerAddress(setting, protocol, &why);
        if (!server || !server->oauth2) return;  // the set-up reports what is wrong
        const QUrl url(server->url);
        auto provider = oauth::ResolveProvider(url.host(), providerFile);
        if (!provider) {
            *error = provider.error().message;
            return;
        }
        accounts.push_back(
            {protocol == net::Protocol::Pop3 ? QStringLiteral("pop3") : QStringLiteral("smtp"),
             protocol == net::Protocol::Pop3 ? user : server->user, url.host(), url.port(),
             provider.value()});
    };
    add(state.pop3Server, net::Protocol::Pop3, state.userName);
    add(state.smtpServer, net::Protocol::Smtp, QString());
    return accounts;
}

}  // namespace

bool StartBrowserFromEnvironment(const QUrl& url) {
    const QString browser = qEnvironmentVariable("BROWSER").section(u':', 0, 0).trimmed();
    if (browser.isEmpty()) return false;
    QStringList words = QProcess::splitCommand(browser);
    if (words.isEmpty()) return false;
    const QString address = url.toString(QUrl::FullyEncoded);
    bool placed = false;
    for (QString& word : words)
        if (word.contains(QLatin1String("%s"))) {
            word.replace(QLatin1String("%s"), address);
            placed = true;
        }
    if (!placed) words << address;
    const QString program = words.takeFirst();
    return QProcess::startDetached(program, words);
}

int RunSignIn(const SignInRequest& request, std::FILE* out, std::FILE* err) {
    core::SharedState state;
    core::LoadSettings(state, request.settingsFile);  // partial settings still name servers
    return SignInFor(state, request, out, err);
}

int SignInFor(const core::SharedState& state, const SignInRequest& request, std::FILE* out,
              std::FILE* err) {
    QString error;
    const std::vector<Account> accounts = oauthAccounts(state, request.providerFile, &error);
    if (!error.isEmpty()) {
        say(err, error);
        return 1;
    }
    if (accounts.empty()) {
        say(err, QStringLiteral("the settings %1 name no +oauth2 server; nothing to sign in for")
                     .arg(request.settingsFile));
        return 1;
    }
    oauth::TokenStore store;
    oauth::TrustedAccess access;
    std::vector<std::pair<const Account*, oauth::Token>> done;
    for (const Account& account : accounts) {
        const QString key =
            oauth::AccountKey(account.protocol, account.user, account.host, account.port);
        // One sign-in serves both servers of one account at one provider.
        const oauth::Token* shared = nullptr;
        for (const auto& [earlier, token] : done)
            if (earlier->user == account.user &&
                earlier->provider.tokenEndpoint == account.provider.tokenEndpoint &&
                earlier->provider.clientId == account.provider.clientId)
                shared = &token;
        net::Result<oauth::Token> token = net::Error{};
        if (shared) {
            token = *shared;
        } else if (request.device) {
            say(out, QStringLiteral("signing in to %1 for %2 on another device")
                         .arg(account.provider.name, key));
            token = oauth::DeviceSignIn(access, account.provider,
                                        [out](const oauth::DeviceCode& code) {
                                            say(out, QStringLiteral("open %1 and enter the code %2")
                                                         .arg(code.verificationUri, code.userCode));
                                        },
                                        {});
        } else {
            say(out, QStringLiteral("signing in to %1 for %2 in the browser")
                         .arg(account.provider.name, key));
            oauth::BrowserSignInOptions options;
            options.loginHint = account.user;
            options.cancelled = request.cancelled;
            options.openBrowser = [&](const QUrl& url) {
                say(out, QStringLiteral("if no browser opens, open this address: %1")
                             .arg(url.toString(QUrl::FullyEncoded)));
                if (StartBrowserFromEnvironment(url)) return true;
                return request.openBrowser ? request.openBrowser(url) : true;
            };
            token = oauth::BrowserSignIn(access, account.provider, options);
        }
        if (!token) {
            say(err,
                QStringLiteral("the sign-in for %1 failed: %2").arg(key, token.error().message));
            return 1;
        }
        if (net::Status saved = store.Save(key, token.value()); !saved) {
            say(err, QStringLiteral("the tokens for %1 could not be stored: %2")
                         .arg(key, saved.error().message));
            return 1;
        }
        qCInfo(lcApp).noquote() << "signed in for" << key;
        say(out, QStringLiteral("signed in for %1; tokens kept in %2")
                     .arg(key, store.Where() == oauth::TokenStore::Place::Keyring
                                   ? QStringLiteral("the keyring")
                                   : store.FilePath()));
        done.emplace_back(&account, token.value());
    }
    return 0;
}

}  // namespace app
