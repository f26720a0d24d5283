#include "app/settings/treg.h"

#include <QSettings>

#include "common/strutil.h"

namespace tarsel {

namespace {

QString &rootFolder()
{
    static QString folder;
    return folder;
}

// Each operation gets a fresh QSettings that flushes when it goes out of scope.
class Store {
public:
    Store()
        : m_settings(rootFolder().isEmpty()
                         ? new QSettings(QSettings::IniFormat, QSettings::UserScope, TReg::Organization,
                                         TReg::ApplicationTitle)
                         : new QSettings(TReg::StorePath(), QSettings::IniFormat))
    {
    }
    ~Store() { delete m_settings; }
    Store(const Store &) = delete;
    Store &operator=(const Store &) = delete;
    QSettings *operator->() { return m_settings; }

private:
    QSettings *m_settings;
};

QString key(const QString &section, const QString &name) { return section + QLatin1Char('/') + name; }

} // namespace

QString TReg::KeyPath() { return QStringLiteral("\\Software\\Quendal\\") + ApplicationTitle + QLatin1Char('\\'); }

QString TReg::StorePath()
{
    if (!rootFolder().isEmpty())
        return rootFolder() + QLatin1Char('/') + Organization + QLatin1Char('/') + ApplicationTitle +
               QStringLiteral(".ini");
    return QSettings(QSettings::IniFormat, QSettings::UserScope, Organization, ApplicationTitle).fileName();
}

void TReg::SetRootFolder(const QString &folder) { rootFolder() = folder; }

QString TReg::ReadString(const QString &section, const QString &name)
{
    Store s;
    return s->value(key(section, name)).toString();
}

void TReg::WriteString(const QString &section, const QString &name, const QString &value)
{
    Store s;
    s->setValue(key(section, name), value);
}

int TReg::ReadInteger(const QString &section, const QString &name)
{
    Store s;
    const QVariant v = s->value(key(section, name));
    if (!v.isValid())
        return 0;
    const auto n = str::ToInt64(v.toString().trimmed().toStdString());
    if (!n || *n < INT32_MIN || *n > INT32_MAX)
        return 0; // text that is no 32-bit integer reads as absent
    return int(*n);
}

void TReg::WriteInteger(const QString &section, const QString &name, int value)
{
    Store s;
    s->setValue(key(section, name), value);
}

bool TReg::ReadBool(const QString &section, const QString &name) { return ReadInteger(section, name) != 0; }

void TReg::WriteBool(const QString &section, const QString &name, bool value)
{
    WriteInteger(section, name, value ? 1 : 0);
}

bool TReg::ValueExists(const QString &section, const QString &name)
{
    Store s;
    return s->contains(key(section, name));
}

void TReg::LoadFormPlacement(const QString &section, TFormPlacement &placement)
{
    // "MaxState" absent is the first run: open maximised like a stored true.
    if (!ValueExists(section, QStringLiteral("MaxState")) || ReadBool(section, QStringLiteral("MaxState"))) {
        placement.WindowState = TFormPlacement::State::Maximized;
        return;
    }
    placement.WindowState = TFormPlacement::State::Normal;
    const auto apply = [&](const char *name, int &field) {
        if (ValueExists(section, QLatin1String(name)))
            field = ReadInteger(section, QLatin1String(name));
    };
    apply("Left", placement.Left);
    apply("Top", placement.Top);
    apply("Width", placement.Width);
    apply("Height", placement.Height);
}

void TReg::SaveFormPlacement(const QString &section, const TFormPlacement &placement)
{
    switch (placement.WindowState) {
    case TFormPlacement::State::Minimized:
        return; // the values of an earlier close stay
    case TFormPlacement::State::Maximized:
        WriteBool(section, QStringLiteral("MaxState"), true);
        return;
    case TFormPlacement::State::Normal:
        WriteBool(section, QStringLiteral("MaxState"), false);
        WriteInteger(section, QStringLiteral("Left"), placement.Left);
        WriteInteger(section, QStringLiteral("Top"), placement.Top);
        WriteInteger(section, QStringLiteral("Width"), placement.Width);
        WriteInteger(section, QStringLiteral("Height"), placement.Height);
        return;
    }
}

} // namespace tarsel
