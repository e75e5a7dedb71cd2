// The smallest Qt Widgets window: what starting any window costs on this display.
// startup.sh times it beside velmora.
#include <QApplication>
#include <QWidget>

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("Minimal Qt window"));
    window.resize(638, 515);
    window.show();
    return application.exec();
}
