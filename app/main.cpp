#include "shell/catalogue.h"
#include "shell/instance_channel.h"
#include "shell/main_window.h"

#include <QApplication>
#include <QPainter>
#include <QSplashScreen>

namespace {

// The start-up picture: the program's name and its release.
QPixmap splash_picture()
{
    QPixmap picture(420, 180);
    QPainter painter(&picture);
    QLinearGradient gradient(0, 0, 420, 180);
    gradient.setColorAt(0, QColor(0x20, 0x3a, 0x5c));
    gradient.setColorAt(1, QColor(0x48, 0x61, 0xd0));
    painter.fillRect(picture.rect(), gradient);
    painter.setPen(Qt::white);
    QFont font = painter.font();
    font.setPixelSize(40);
    font.setBold(true);
    painter.setFont(font);
    painter.drawText(QRect(0, 30, 420, 60), Qt::AlignCenter, "Velmora");
    font.setPixelSize(14);
    font.setBold(false);
    painter.setFont(font);
    const std::string release = velmora::fill_placeholders(velmora::translate("@ch_version"), {"1.5"});
    painter.drawText(QRect(0, 95, 420, 24), Qt::AlignCenter, QString::fromStdString(release));
    return picture;
}

} // namespace

// program_main: hands the files to an editor already running, or starts one.
int main(int argc, char** argv)
{
    // Screens scaled by a fraction (125 %, 150 %) get a whole device-pixel
    // ratio, so that at 100 % every image pixel is a whole block of screen
    // pixels: Qt draws the view with whole-number scaling, pixel-exact.
    QGuiApplication::setHighDpiScaleFactorRoundingPolicy(Qt::HighDpiScaleFactorRoundingPolicy::Round);
    QApplication application(argc, argv);
    QApplication::setApplicationName("Velmora");
    const QStringList files = velmora::existing_files(QApplication::arguments().mid(1));
    velmora::tinstance_channel channel;
    if (channel.hand_over(files))
        return 0;

    QSplashScreen splash(splash_picture());
    splash.show();
    QApplication::processEvents();

    velmora::tmain_window window;
    channel.listen([&window](const QStringList& handed_over) {
        window.open_files(handed_over);
        window.raise();
    });
    window.open_files(files);
    window.show();
    splash.finish(&window);
    return QApplication::exec();
}
