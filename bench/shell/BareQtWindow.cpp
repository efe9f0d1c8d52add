// The baseline of the shell's memory benchmark: a bare Qt Widgets application that shows one
// window, hides it once it is on the screen, and stays running until it is terminated.
#include <QApplication>
#include <QTimer>
#include <QWidget>

#include <cstdio>

int main(int argc, char **argv)
{
    QApplication application(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    QWidget window;
    window.resize(460, 400);
    window.setWindowTitle(QStringLiteral("bare"));
    window.show();
    QTimer::singleShot(500, &window, [&window] {
        window.hide();
        std::puts("hidden");
        std::fflush(stdout);
    });
    return QApplication::exec();
}
