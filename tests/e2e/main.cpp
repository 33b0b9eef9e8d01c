#include <gtest/gtest.h>

#include <QCoreApplication>

int main(int argc, char** argv) {
    // Processes and sockets want an application object; the program under test has the windows.
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
