// The floor for the service's memory: the smallest Qt Core program that waits
// in its event loop. Says "ready" once the loop runs.
#include <QCoreApplication>
#include <QTimer>
#include <cstdio>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QTimer::singleShot(0, [] {
        std::fputs("ready\n", stdout);
        std::fflush(stdout);
    });
    return QCoreApplication::exec();
}
