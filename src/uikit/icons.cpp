#include "uikit/icons.h"

#include <QDir>
#include <QHash>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace tarsel::icons {

namespace {

struct Entry {
    const char *themeName;
    QRgb colour;   // of the drawn glyph when the theme lacks the icon
    char glyph;
};

Entry entry(TImage image)
{
    switch (image) {
    case TImage::NewConnection: return {"network-server", 0x3465a4, 'N'};
    case TImage::CloseConnection: return {"network-offline", 0xa40000, 'X'};
    case TImage::NewProfile: return {"address-book-new", 0x4e9a06, '+'};
    case TImage::Profiles: return {"x-office-address-book", 0x75507b, 'P'};
    case TImage::Preferences: return {"preferences-system", 0x555753, 'S'};
    case TImage::QuickConnect: return {"network-transmit-receive", 0x4e9a06, 'Q'};
    case TImage::Exit: return {"system-log-out", 0xa40000, 'E'};
    case TImage::UpDir: return {"go-up", 0x3465a4, '^'};
    case TImage::ChangeDir: return {"go-jump", 0x3465a4, '>'};
    case TImage::NewRemoteDir: return {"folder-new", 0xc4a000, '+'};
    case TImage::RenameDir: return {"accessories-text-editor", 0xc4a000, 'R'};
    case TImage::RemoveDir: return {"edit-delete", 0xa40000, '-'};
    case TImage::NewLocalDir: return {"folder-new", 0xc4a000, '+'};
    case TImage::RefreshRemote: return {"view-refresh", 0x3465a4, 'r'};
    case TImage::RefreshLocal: return {"view-refresh", 0x4e9a06, 'r'};
    case TImage::Upload: return {"go-top", 0x4e9a06, 'U'};
    case TImage::ResumeUp: return {"go-up", 0x4e9a06, 'u'};
    case TImage::Download: return {"go-bottom", 0x3465a4, 'D'};
    case TImage::ResumeDown: return {"go-down", 0x3465a4, 'd'};
    case TImage::DeleteRemote: return {"edit-delete", 0xa40000, 'X'};
    case TImage::RenameFile: return {"accessories-text-editor", 0x555753, 'R'};
    case TImage::BatchUpload: return {"network-transmit", 0x4e9a06, 'B'};
    case TImage::BatchDownload: return {"network-receive", 0x3465a4, 'B'};
    case TImage::BatchDelete: return {"process-stop", 0xa40000, 'B'};
    case TImage::SaveLog: return {"document-save", 0x555753, 'L'};
    case TImage::DirInfo: return {"dialog-information", 0x3465a4, 'i'};
    case TImage::Chmod: return {"document-properties", 0x555753, 'C'};
    case TImage::Command: return {"utilities-terminal", 0x2e3436, '$'};
    case TImage::ViewLarge: return {"view-large-icons", 0x555753, 'L'};
    case TImage::ViewSmall: return {"view-small-icons", 0x555753, 'S'};
    case TImage::ViewList: return {"view-list", 0x555753, 'l'};
    case TImage::ViewDetails: return {"view-details", 0x555753, 'D'};
    case TImage::Help: return {"help-browser", 0x3465a4, '?'};
    case TImage::About: return {"dialog-information", 0x3465a4, 'i'};
    case TImage::Web: return {"internet-web-browser", 0x3465a4, 'W'};
    case TImage::Computer: return {"computer", 0x555753, 'C'};
    case TImage::FolderOpen: return {"folder-open", 0xc4a000, 'F'};
    case TImage::Folder: return {"folder", 0xc4a000, 'F'};
    case TImage::ParentDir: return {"go-up", 0xc4a000, '^'};
    case TImage::Link: return {"emblem-symbolic-link", 0x555753, '@'};
    case TImage::Connection: return {"network-server", 0x3465a4, 'C'};
    case TImage::File: return {"text-x-generic", 0x888a85, 'f'};
    }
    return {"", 0x555753, '?'};
}

// A glyph in a rounded square, for images the theme does not have.
QIcon drawn(QRgb colour, char glyph)
{
    QIcon icon;
    for (int size : {16, 22, 32}) {
        QPixmap pm(size, size);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        QPainterPath path;
        path.addRoundedRect(QRectF(1, 1, size - 2, size - 2), size / 5.0, size / 5.0);
        p.fillPath(path, QColor(colour));
        p.setPen(Qt::white);
        QFont f = p.font();
        f.setBold(true);
        f.setPixelSize(size * 2 / 3);
        p.setFont(f);
        p.drawText(pm.rect(), Qt::AlignCenter, QString(QLatin1Char(glyph)));
        p.end();
        icon.addPixmap(pm);
    }
    return icon;
}

// Views have no Tango icons; draw them in the theme's grey so they sit well beside it.
QIcon viewIcon(TImage image)
{
    QIcon icon;
    for (int size : {16, 32}) {
        QPixmap pm(size, size);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        const QColor ink(0x55, 0x57, 0x53);
        const int u = size / 16;
        switch (image) {
        case TImage::ViewLarge:
            for (int i = 0; i < 2; ++i)
                for (int j = 0; j < 2; ++j)
                    p.fillRect(QRect((1 + 8 * i) * u, (1 + 8 * j) * u, 6 * u, 6 * u), ink);
            break;
        case TImage::ViewSmall:
            for (int i = 0; i < 3; ++i)
                for (int j = 0; j < 3; ++j)
                    p.fillRect(QRect((1 + 5 * i) * u, (1 + 5 * j) * u, 4 * u, 4 * u), ink);
            break;
        case TImage::ViewList:
            for (int j = 0; j < 4; ++j) {
                p.fillRect(QRect(1 * u, (2 + 4 * j) * u, 2 * u, 2 * u), ink);
                p.fillRect(QRect(4 * u, (2 + 4 * j) * u, 11 * u, 2 * u), ink.lighter(130));
            }
            break;
        default:
            for (int j = 0; j < 4; ++j) {
                p.fillRect(QRect(1 * u, (2 + 4 * j) * u, 6 * u, 2 * u), ink);
                p.fillRect(QRect(8 * u, (2 + 4 * j) * u, 3 * u, 2 * u), ink.lighter(130));
                p.fillRect(QRect(12 * u, (2 + 4 * j) * u, 3 * u, 2 * u), ink.lighter(130));
            }
            break;
        }
        p.end();
        icon.addPixmap(pm);
    }
    return icon;
}

QHash<int, QIcon> &cache()
{
    static QHash<int, QIcon> c;
    return c;
}

} // namespace

void Init()
{
    for (const QString &base : QIcon::themeSearchPaths())
        if (QDir(base + QStringLiteral("/Tango")).exists()) {
            QIcon::setThemeName(QStringLiteral("Tango"));
            break;
        }
    cache().clear();
}

QIcon Icon(TImage image)
{
    auto &c = cache();
    const int key = int(image);
    auto it = c.find(key);
    if (it != c.end())
        return *it;
    QIcon icon;
    if (image == TImage::ViewLarge || image == TImage::ViewSmall || image == TImage::ViewList ||
        image == TImage::ViewDetails) {
        icon = viewIcon(image);
    } else {
        const Entry e = entry(image);
        icon = QIcon::fromTheme(QLatin1String(e.themeName));
        if (icon.isNull())
            icon = drawn(e.colour, e.glyph);
    }
    c.insert(key, icon);
    return icon;
}

QIcon SmallImage(int index)
{
    static constexpr TImage order[SmallImageCount] = {TImage::Computer, TImage::FolderOpen, TImage::Folder,
                                                     TImage::ParentDir, TImage::Link, TImage::Connection};
    if (index < 0 || index >= SmallImageCount)
        return {};
    return Icon(order[index]);
}

QPixmap Banner()
{
    QPixmap pm(400, 60);
    QPainter p(&pm);
    QLinearGradient g(0, 0, 400, 0);
    g.setColorAt(0, QColor(0x44, 0x55, 0x66));
    g.setColorAt(1, QColor(0x99, 0xaa, 0xbb));
    p.fillRect(pm.rect(), g);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(255, 255, 255, 90), 3));
    for (int i = 0; i < 6; ++i)
        p.drawLine(20 + i * 60, 45, 60 + i * 60, 15);
    return pm;
}

} // namespace tarsel::icons
