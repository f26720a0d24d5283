#pragma once
#include <QFileIconProvider>
#include <QFileSystemModel>

namespace tarsel {

class IPrompts;

// Icons and type names of local files from their names and the kind of entry alone.
// Nothing here opens a file: reading a file to guess its type blocks for good on
// /proc/kmsg, a FIFO, a device or a hung network mount.
class TNameIconProvider : public QFileIconProvider {
public:
    QIcon icon(IconType type) const override { return QFileIconProvider::icon(type); }
    QIcon icon(const QFileInfo &info) const override;
    QString type(const QFileInfo &info) const override;
};

// The file system model of the local panes: types and icons by name, a link's own size,
// and renames that say why they failed instead of failing silently.
class TLocalFileModel : public QFileSystemModel {
    Q_OBJECT
public:
    explicit TLocalFileModel(QObject *parent = nullptr);

    void SetPrompts(IPrompts *prompts) { m_prompts = prompts; }

    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;

private:
    IPrompts *m_prompts = nullptr;
    TNameIconProvider m_icons;
};

// Shows an error box after the current event has been handled (never inside a view's
// own editing or selection handling).
void PostErrorBox(QObject *context, IPrompts *prompts, const QString &text, const QString &caption);

} // namespace tarsel
