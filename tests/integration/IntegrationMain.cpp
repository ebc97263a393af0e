// Integration tests run against real servers started once for the process.

#include <gtest/gtest.h>

#include <QCoreApplication>

#include "../util/TestServers.h"
#include "mail/adapter/RealComponent.h"

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    // The suite's own CA is the trust store, as OpenSSL's variable names it.
    qputenv("SSL_CERT_FILE", testutil::TestServers::Get().caFile().toUtf8());
    mail::InitMailLibraries();  // library set-up, main thread
    return RUN_ALL_TESTS();
}
