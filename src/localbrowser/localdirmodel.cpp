#include "localbrowser/localdirmodel.h"

#include <QFile>
#include <QFileIconProvider>
#include <QFileSystemWatcher>
#include <QLocale>
#include <QMimeData>
#include <QMimeDatabase>
#include <QStringDecoder>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <numeric>
#include <sys/stat.h>
#include <unistd.h>

#include "localbrowser/localfilemodel.h"

namespace tarsel {

namespace {
bool validUtf8(const QByteArray &bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decoder(bytes);
    return !decoder.hasError();
}

QString reasonText(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

QMimeType mimeByName(const QString &name)
{
    static const QMimeDatabase db;
    return db.mimeTypeForFile(name, QMimeDatabase::MatchExtension);
}
} // namespace

QString LocalDisplayName(const QByteArray &bytes)
{
    if (validUtf8(bytes))
        return QString::fromUtf8(bytes);
    QString out;
    for (qsizetype i = 0; i < bytes.size();) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        const int length = lead < 0x80 ? 1 : lead >= 0xC2 && lead <= 0xDF ? 2 : lead >= 0xE0 && lead <= 0xEF ? 3
                                         : lead >= 0xF0 && lead <= 0xF4   ? 4
                                                                          : 0;
        const QByteArray sequence = length > 0 ? bytes.mid(i, length) : QByteArray();
        if (length > 1 && sequence.size() == length && validUtf8(sequence)) {
            out += QString::fromUtf8(sequence);
            i += length;
        } else if (lead == '\\') {
            out += QStringLiteral("\\\\");
            ++i;
        } else if (length == 1) {
            out += QLatin1Char(char(lead));
            ++i;
        } else {
            out += QStringLiteral("\\x") + QString::asprintf("%02X", unsigned(lead));
            ++i;
        }
    }
    return out;
}

QByteArray LocalNameFromDisplay(const QString &text, bool escaped)
{
    if (!escaped)
        return QFile::encodeName(text);
    QByteArray out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == QLatin1Char('\\') && i + 1 < text.size() && text[i + 1] == QLatin1Char('\\')) {
            out += '\\';
            ++i;
        } else if (text[i] == QLatin1Char('\\') && i + 3 < text.size() && text[i + 1] == QLatin1Char('x')) {
            bool ok = false;
            const int byte = text.mid(i + 2, 2).toInt(&ok, 16);
            if (ok) {
                out += char(byte);
                i += 3;
            } else {
                out += '\\';
            }
        } else {
            out += text.mid(i, 1).toUtf8();
        }
    }
    return out;
}

TLocalDirModel::TLocalDirModel(QObject *parent) : QAbstractTableModel(parent), m_watcher(new QFileSystemWatcher(this))
{
    connect(m_watcher, &QFileSystemWatcher::directoryChanged, this, [this] {
        if (m_refreshPosted)
            return;
        m_refreshPosted = true;
        QTimer::singleShot(0, this, [this] {
            m_refreshPosted = false;
            Refresh();
        });
    });
}

std::vector<TLocalDirModel::Entry> TLocalDirModel::read(const QByteArray &folder, int *error) const
{
    std::vector<Entry> entries;
    DIR *dir = ::opendir(folder.constData());
    if (!dir) {
        *error = errno;
        return entries;
    }
    *error = 0;
    const QByteArray prefix = folder.endsWith('/') ? folder : folder + '/';
    while (const dirent *d = ::readdir(dir)) {
        Entry e;
        e.name = QByteArray(d->d_name);
        if (e.name == "." || e.name == "..")
            continue;
        struct stat st {};
        const QByteArray path = prefix + e.name;
        if (::lstat(path.constData(), &st) != 0)
            continue; // gone since it was listed
        e.mode = st.st_mode;
        e.size = qint64(st.st_size);
        e.link = S_ISLNK(st.st_mode);
        e.folder = S_ISDIR(st.st_mode);
        if (e.link) {
            struct stat target {};
            e.folder = ::stat(path.constData(), &target) == 0 && S_ISDIR(target.st_mode);
        }
        e.modified = QDateTime::fromSecsSinceEpoch(qint64(st.st_mtime));
        e.escaped = !validUtf8(e.name);
        e.display = LocalDisplayName(e.name);
        entries.push_back(std::move(e));
    }
    ::closedir(dir);
    return entries;
}

bool TLocalDirModel::SetFolder(const QByteArray &path, QString *error)
{
    int err = 0;
    std::vector<Entry> entries = read(path, &err);
    beginResetModel();
    if (!m_watcher->directories().isEmpty())
        m_watcher->removePaths(m_watcher->directories());
    m_folder = path;
    m_entries = std::move(entries);
    if (!err)
        m_watcher->addPath(QFile::decodeName(path));
    applySort();
    endResetModel();
    emit folderRead();
    if (err && error)
        *error = reasonText(err);
    return err == 0;
}

void TLocalDirModel::Refresh()
{
    if (m_folder.isEmpty())
        return;
    int err = 0;
    std::vector<Entry> entries = read(m_folder, &err);
    const auto same = [](const Entry &a, const Entry &b) {
        return a.name == b.name && a.mode == b.mode && a.size == b.size && a.modified == b.modified &&
               a.folder == b.folder;
    };
    std::vector<Entry> sorted = entries;
    const auto byName = [](const Entry &a, const Entry &b) { return a.name < b.name; };
    std::sort(sorted.begin(), sorted.end(), byName);
    std::vector<Entry> current = m_entries;
    std::sort(current.begin(), current.end(), byName);
    // Nothing changed: keep the rows, so an open in-place editor stays open.
    if (sorted.size() == current.size() && std::equal(sorted.begin(), sorted.end(), current.begin(), same)) {
        emit folderRead();
        return;
    }
    beginResetModel();
    m_entries = std::move(entries);
    applySort();
    endResetModel();
    emit folderRead();
}

QByteArray TLocalDirModel::PathBytes(int row) const
{
    return (m_folder.endsWith('/') ? m_folder : m_folder + '/') + m_entries[std::size_t(row)].name;
}

int TLocalDirModel::RowOf(const QByteArray &name) const
{
    for (std::size_t i = 0; i < m_entries.size(); ++i)
        if (m_entries[i].name == name)
            return int(i);
    return -1;
}

int TLocalDirModel::MakeFolder(const QByteArray &name)
{
    const QByteArray path = (m_folder.endsWith('/') ? m_folder : m_folder + '/') + name;
    if (m_folder.isEmpty() || ::mkdir(path.constData(), 0777) != 0)
        return -1;
    Refresh();
    return RowOf(name);
}

int TLocalDirModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_entries.size());
}

int TLocalDirModel::columnCount(const QModelIndex &parent) const { return parent.isValid() ? 0 : 4; }

QString TLocalDirModel::TypeOf(const Entry &e)
{
    if (e.link)
        return QStringLiteral("Link");
    if (e.folder)
        return QStringLiteral("Folder");
    if (S_ISFIFO(e.mode))
        return QStringLiteral("FIFO");
    if (S_ISCHR(e.mode))
        return QStringLiteral("Character Device");
    if (S_ISBLK(e.mode))
        return QStringLiteral("Block Device");
    if (S_ISSOCK(e.mode))
        return QStringLiteral("Socket");
    const QMimeType mime = mimeByName(e.display);
    // One spelling for every type the name does not tell.
    return mime.isDefault() || mime.comment().isEmpty() ? QStringLiteral("File") : mime.comment();
}

QIcon TLocalDirModel::iconOf(const Entry &e) const
{
    static const QFileIconProvider provider;
    if (e.folder)
        return provider.icon(QFileIconProvider::Folder);
    if (!S_ISREG(e.mode) && !e.link)
        return provider.icon(QFileIconProvider::File);
    const QMimeType mime = mimeByName(e.display);
    auto it = m_icons.find(mime.name());
    if (it == m_icons.end()) {
        QIcon icon = QIcon::fromTheme(mime.iconName());
        if (icon.isNull())
            icon = QIcon::fromTheme(mime.genericIconName());
        if (icon.isNull())
            icon = provider.icon(QFileIconProvider::File);
        it = m_icons.insert(mime.name(), icon);
    }
    return *it;
}

QVariant TLocalDirModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const Entry &e = m_entries[std::size_t(index.row())];
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        switch (index.column()) {
        case 0:
            return e.display;
        case 1:
            return e.folder && !e.link ? QString() : QLocale::system().formattedDataSize(e.size);
        case 2:
            return TypeOf(e);
        case 3:
            return QLocale::system().toString(e.modified, QLocale::ShortFormat);
        }
        return {};
    case Qt::DecorationRole:
        return index.column() == 0 ? QVariant(iconOf(e)) : QVariant();
    case Qt::TextAlignmentRole:
        return index.column() == 1 ? QVariant(int(Qt::AlignRight | Qt::AlignVCenter)) : QVariant();
    case Qt::ToolTipRole:
        return index.column() == 0 && e.escaped
                   ? QVariant(QStringLiteral("This name is not valid text; \\xHH shows a byte that is not."))
                   : QVariant();
    default:
        return {};
    }
}

QVariant TLocalDirModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    static const char *const names[] = {"Name", "Size", "Type", "Date Modified"};
    return section >= 0 && section < 4 ? QString::fromLatin1(names[section]) : QVariant();
}

Qt::ItemFlags TLocalDirModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled;
    if (index.column() == 0)
        f |= Qt::ItemIsEditable;
    return f;
}

bool TLocalDirModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (role != Qt::EditRole || !index.isValid() || index.column() != 0)
        return false;
    const Entry &e = m_entries[std::size_t(index.row())];
    const QString text = value.toString();
    if (text == e.display)
        return true;
    const QByteArray newName = LocalNameFromDisplay(text, e.escaped);
    const QString oldShown = e.display;
    const QByteArray prefix = m_folder.endsWith('/') ? m_folder : m_folder + '/';
    QString reason;
    if (newName.isEmpty() || newName.contains('/') || newName.contains('\0') || newName == "." || newName == "..") {
        reason = QStringLiteral("The name is not valid.");
    } else if (::renameat2(AT_FDCWD, (prefix + e.name).constData(), AT_FDCWD, (prefix + newName).constData(),
                           RENAME_NOREPLACE) != 0) {
        // Never replaces an existing entry: EEXIST says so.
        reason = errno == EEXIST ? QStringLiteral("A file or folder with that name already exists.")
                                 : reasonText(errno);
    }
    if (!reason.isEmpty()) {
        PostErrorBox(this, m_prompts, QStringLiteral("Cannot rename \"%1\" to \"%2\":\n%3").arg(oldShown, text, reason),
                     QStringLiteral("Rename Error"));
        return false;
    }
    // The row keeps its place and selection until the list is next sorted.
    Entry &changed = m_entries[std::size_t(index.row())];
    changed.name = newName;
    changed.escaped = !validUtf8(newName);
    changed.display = LocalDisplayName(newName);
    emit dataChanged(index, index.siblingAtColumn(3));
    return true;
}

void TLocalDirModel::applySort()
{
    const int column = m_sortColumn;
    const bool descending = m_sortOrder == Qt::DescendingOrder;
    const auto less = [column, descending](const Entry &a, const Entry &b) {
        if (a.folder != b.folder)
            return a.folder; // folders first either way
        int c = 0;
        switch (column) {
        case 1:
            c = a.size < b.size ? -1 : a.size > b.size ? 1 : 0;
            break;
        case 2:
            c = TypeOf(a).compare(TypeOf(b), Qt::CaseInsensitive);
            break;
        case 3:
            c = a.modified < b.modified ? -1 : a.modified > b.modified ? 1 : 0;
            break;
        default:
            break;
        }
        if (c == 0)
            c = a.display.compare(b.display, Qt::CaseInsensitive);
        if (c == 0)
            c = a.name < b.name ? -1 : a.name > b.name ? 1 : 0;
        return descending ? c > 0 : c < 0;
    };
    std::stable_sort(m_entries.begin(), m_entries.end(), less);
}

void TLocalDirModel::sort(int column, Qt::SortOrder order)
{
    m_sortColumn = column;
    m_sortOrder = order;
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList persistent = persistentIndexList();
    std::vector<QByteArray> names;
    names.reserve(std::size_t(persistent.size()));
    for (const QModelIndex &i : persistent)
        names.push_back(m_entries[std::size_t(i.row())].name);
    applySort();
    QHash<QByteArray, int> rowOfName;
    rowOfName.reserve(qsizetype(m_entries.size()));
    for (std::size_t i = 0; i < m_entries.size(); ++i)
        rowOfName.insert(m_entries[i].name, int(i));
    QModelIndexList moved;
    for (qsizetype k = 0; k < persistent.size(); ++k)
        moved << index(rowOfName.value(names[std::size_t(k)], -1), persistent[k].column());
    changePersistentIndexList(persistent, moved);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

QStringList TLocalDirModel::mimeTypes() const { return {QStringLiteral("text/uri-list")}; }

QMimeData *TLocalDirModel::mimeData(const QModelIndexList &indexes) const
{
    QList<QUrl> urls;
    for (const QModelIndex &i : indexes)
        if (i.column() == 0)
            urls << QUrl::fromEncoded("file://" + PathBytes(i.row()).toPercentEncoding("/"));
    auto *data = new QMimeData;
    data->setUrls(urls);
    return data;
}

} // namespace tarsel
