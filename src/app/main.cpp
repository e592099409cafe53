// Program entry of the client.
#include <QApplication>
#include <QWidget>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("Qurel助手"));
    window.resize(972, 642);
    window.show();
    return app.exec();
}
