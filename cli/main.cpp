#include <QCoreApplication>
#include <QTextStream>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTextStream(stdout) << "usage: sonvara-cli info FILE... | join -o OUT.mp3 IN...\n";
    return 0;
}
