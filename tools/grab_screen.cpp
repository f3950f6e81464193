// Saves what the X display shows as a PNG: tosswick-grab-screen FILE [x y width height].
// The screenshot script and the end-to-end test use it, so they need no image tools.

#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>

#include <cstdio>

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    const QStringList arguments = QGuiApplication::arguments();
    if (arguments.size() != 2 && arguments.size() != 6) {
        std::fputs("usage: tosswick-grab-screen FILE [x y width height]\n", stderr);
        return 2;
    }
    int area[4] = { 0, 0, -1, -1 };
    for (int i = 0; i + 2 < arguments.size(); ++i) {
        bool ok = false;
        area[i] = arguments[i + 2].toInt(&ok);
        if (!ok) {
            std::fputs("tosswick-grab-screen: the area must be four integers\n", stderr);
            return 2;
        }
    }
    const QPixmap image
        = QGuiApplication::primaryScreen()->grabWindow(0, area[0], area[1], area[2], area[3]);
    if (image.isNull() || !image.save(arguments[1], "PNG")) {
        std::fprintf(stderr, "tosswick-grab-screen: cannot write %s\n", qPrintable(arguments[1]));
        return 1;
    }
    return 0;
}
