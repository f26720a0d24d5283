#pragma once
#include <QAbstractTableModel>
#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QIcon>
#include <vector>

class QFileSystemWatcher;

namespace tarsel {

class IPrompts;

// A local file name for display: the name itself when its bytes are valid UTF-8, else
// with every invalid byte shown as "\xHH" and every backslash as "\\", so the name is
// visible and can be told apart from others.
QString LocalDisplayName(const QByteArray &bytes);
// The bytes a displayed name stands for; `escaped` says whether LocalDisplayName
// escaped it (only then are "\xHH" and "\\" read back as bytes).
QByteArray LocalNameFromDisplay(const QString &text, bool escaped);

// The contents of one local folder, read by the entries' bytes with lstat: nothing is
// opened, types and icons come from the names, links show their own size, and names
// that are not valid text are listed too. Columns: Name, Size, Type, Date Modified.
class TLocalDirModel : public QAbstractTableModel {
    Q_OBJECT
public:
    struct Entry {
        QByteArray name;
        QString display;
        bool escaped = false; // display is an escaped form of the bytes
        bool folder = false;  // a folder, or a link to one
        bool link = false;
        unsigned mode = 0;    // the entry's own st_mode
        qint64 size = 0;      // the entry's own size
        QDateTime modified;
    };

    explicit TLocalDirModel(QObject *parent = nullptr);

    void SetPrompts(IPrompts *prompts) { m_prompts = prompts; }

    // Shows this folder (bytes of its path); false with `error` set when it cannot be read.
    bool SetFolder(const QByteArray &path, QString *error = nullptr);
    const QByteArray &Folder() const { return m_folder; }
    // Reads the folder again, keeping the sort order.
    void Refresh();

    const Entry &EntryAt(int row) const { return m_entries[std::size_t(row)]; }
    QByteArray PathBytes(int row) const;
    // The row of the entry with these name bytes, -1 when there is none.
    int RowOf(const QByteArray &name) const;
    // Creates a folder with this name; the row of the new folder, or -1 (errno set).
    int MakeFolder(const QByteArray &name);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;
    QStringList mimeTypes() const override;
    QMimeData *mimeData(const QModelIndexList &indexes) const override;
    Qt::DropActions supportedDragActions() const override { return Qt::CopyAction; }

    // The type text of an entry ("Folder", "Link", "FIFO", the MIME comment, "File").
    static QString TypeOf(const Entry &e);

signals:
    // The folder was (re)read.
    void folderRead();

private:
    std::vector<Entry> read(const QByteArray &folder, int *error) const;
    void applySort();
    QIcon iconOf(const Entry &e) const;

    QByteArray m_folder;
    std::vector<Entry> m_entries;
    int m_sortColumn = 0;
    Qt::SortOrder m_sortOrder = Qt::AscendingOrder;
    QFileSystemWatcher *m_watcher;
    bool m_refreshPosted = false;
    IPrompts *m_prompts = nullptr;
    mutable QHash<QString, QIcon> m_icons; // by MIME type name
};

} // namespace tarsel
