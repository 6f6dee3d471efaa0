#include "station/Artwork.h"

#include <QFontDatabase>
#include <QImageReader>

// The pictures live in a static library: nothing refers to their data, so the
// linker would drop it unless it is registered by hand.
static void registerPictures()
{
    static const bool registered = [] {
        Q_INIT_RESOURCE(lurn);
        return true;
    }();
    (void)registered;
}

namespace artwork {
namespace {

// Common desktop faces are wider than the one the layout was drawn for.
constexpr int kStretch = 85;

QPixmap picture(const QString& name)
{
    registerPictures();
    // Read as PNG straight away: left to guess, Qt first loads every image
    // format plugin installed (gif, ico, jpeg, ...) to ask whether it reads
    // "png", which costs the start of the program a few milliseconds.
    QImageReader reader(QStringLiteral(":/lurn/%1.png").arg(name), "png");
    reader.setAutoDetectImageFormat(false);
    return QPixmap::fromImage(reader.read());
}

QIcon twoState(const QString& name)
{
    QIcon icon;
    icon.addPixmap(picture(name), QIcon::Normal);
    icon.addPixmap(picture(name + QStringLiteral("-disabled")), QIcon::Disabled);
    return icon;
}

} // namespace

QPixmap logo()
{
    return picture(QStringLiteral("logo"));
}

QIcon applicationIcon()
{
    return QIcon(picture(QStringLiteral("lurn")));
}

QIcon add()
{
    return QIcon(picture(QStringLiteral("add")));
}

QIcon remove()
{
    return QIcon(picture(QStringLiteral("remove")));
}

QIcon start()
{
    return twoState(QStringLiteral("start"));
}

QIcon stop()
{
    return twoState(QStringLiteral("stop"));
}

QIcon resume()
{
    return twoState(QStringLiteral("continue"));
}

QIcon ok()
{
    return twoState(QStringLiteral("ok"));
}

QFont windowFont(int points, bool bold)
{
    QFont face = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    face.setPointSize(points);
    face.setBold(bold);
    face.setStretch(kStretch);
    return face;
}

} // namespace artwork
