// The baseline the launch benchmarks measure murmo against: a Qt Widgets program that loads the
// same Qt modules and opens one window, and does nothing else.

#include <QApplication>
#include <QLabel>

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    QLabel window(QStringLiteral("Murmo"));
    window.setWindowTitle(QStringLiteral("bare"));
    window.resize(780, 560);
    window.show();
    return application.exec();
}
