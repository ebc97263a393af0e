#include "Options.h"

#include <QCommandLineParser>

namespace app {
namespace {

const QCommandLineOption kSettings(QStringLiteral("settings"),
                                   QStringLiteral("Use FILE as the settings file; the journal "
                                                  "and the log are kept beside it."),
                                   QStringLiteral("FILE"));
const QCommandLineOption kHeadless(QStringLiteral("headless"),
                                   QStringLiteral("Run without window or tray icon; message "
                                                  "box texts go to the log."));
const QCommandLineOption kAutostart(QStringLiteral("autostart"),
                                    QStringLiteral("Start Tarnpost at login (on) or not (off), "
                                                   "then end."),
                                    QStringLiteral("on|off"));

const QCommandLineOption kSignIn(QStringLiteral("sign-in"),
                                 QStringLiteral("Sign in for every +oauth2 server in the "
                                                "settings, store the tokens, then end."));
const QCommandLineOption kOAuthProvider(QStringLiteral("oauth-provider"),
                                        QStringLiteral("The OAuth2 provider (endpoints, "
                                                       "client_id, scope) as JSON, for the "
                                                       "sign-in."),
                                        QStringLiteral("FILE"));
const QCommandLineOption kDevice(QStringLiteral("device"),
                                 QStringLiteral("With --sign-in: sign in on another device "
                                                "(shows an address and a code)."));

void describe(QCommandLineParser& parser) {
    parser.setApplicationDescription(QStringLiteral(
        "Tarnpost: forwards and lists the mail of one POP3 mailbox.\n\n"
        "Servers: host[:port], pop3://, smtp:// (TLS through STLS or STARTTLS required,\n"
        "except on this machine), pop3s://, smtps:// (implicit TLS),\n"
        "pop3+cleartext://, smtp+cleartext:// (plain text allowed, logged as a warning),\n"
        "pop3s+oauth2://, pop3+oauth2://, smtps+oauth2://user@, smtp+oauth2://user@\n"
        "(OAuth2 sign-in, see --sign-in)."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOption(kSettings);
    parser.addOption(kHeadless);
    parser.addOption(kAutostart);
    parser.addOption(kSignIn);
    parser.addOption(kOAuthProvider);
    parser.addOption(kDevice);
}

}  // namespace

Options ParseOptions(const QStringList& arguments) {
    QCommandLineParser parser;
    describe(parser);
    Options options;
    if (!parser.parse(arguments)) {
        options.error = parser.errorText();
        return options;
    }
    if (!parser.positionalArguments().isEmpty()) {
        options.error = QStringLiteral("Unexpected argument '%1'.")
                            .arg(parser.positionalArguments().constFirst());
        return options;
    }
    options.help = parser.isSet(QStringLiteral("help")) || parser.isSet(QStringLiteral("help-all"));
    options.version = parser.isSet(QStringLiteral("version"));
    options.headless = parser.isSet(kHeadless);
    options.settingsFile = parser.value(kSettings);
    if (parser.isSet(kSettings) && options.settingsFile.isEmpty())
        options.error = QStringLiteral("--settings needs a file name.");
    options.signIn = parser.isSet(kSignIn);
    options.oauthProvider = parser.value(kOAuthProvider);
    options.device = parser.isSet(kDevice);
    if (options.device && !options.signIn)
        options.error = QStringLiteral("--device goes with --sign-in.");
    if (parser.isSet(kAutostart)) {
        const QString value = parser.value(kAutostart);
        if (value == QLatin1String("on"))
            options.autostart = true;
        else if (value == QLatin1String("off"))
            options.autostart = false;
        else
            options.error = QStringLiteral("--autostart takes on or off, not '%1'.").arg(value);
    }
    return options;
}

QString HelpText() {
    QCommandLineParser parser;
    describe(parser);
    return parser.helpText();
}

}  // namespace app
