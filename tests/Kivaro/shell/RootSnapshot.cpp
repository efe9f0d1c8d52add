// Writes a PNG of the whole X screen: how the tests (and a developer) look at the running
// application as a user sees it. Usage: kivaro-root-snapshot OUT.png
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>

#include <cstdio>

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fputs("usage: kivaro-root-snapshot OUT.png\n", stderr);
        return 2;
    }
    QGuiApplication application(argc, argv);
    QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen)
        return 1;
    return screen->grabWindow(0).save(QString::fromLocal8Bit(argv[1]), "PNG") ? 0 : 1;
}
