// Checks the #include lines of every folder under src/ against the layer graph, and
// that the layers meant to run without a display include nothing of Qt Gui or Widgets.
#include <QDirIterator>
#include <QFile>
#include <QLibraryInfo>
#include <QMap>
#include <QRegularExpression>
#include <QSet>
#include <QTest>

namespace {

struct Layer {
    QStringList uses;   // direct dependencies; what they use is allowed too
    bool gui = false;   // may include Qt Gui and Qt Widgets
    QStringList extra;  // single headers of other layers it may include
};

// The layer graph of the design notes.
const QMap<QString, Layer> &graph()
{
    static const QMap<QString, Layer> g = {
        {"common", {{}, false, {}}},
        {"net", {{"common"}, false, {}}},
        {"ftp", {{"net", "common"}, false, {}}},
        {"listing", {{"common"}, false, {}}},
        {"app/settings", {{"common"}, false, {}}},
        {"uikit", {{"common"}, true, {}}},
        {"localbrowser", {{"listing", "uikit", "common"}, true, {}}},
        {"dialogs", {{"app/settings", "uikit", "common"}, true, {}}},
        {"session", {{"ftp", "listing", "app/settings", "localbrowser", "dialogs", "uikit", "common"}, true, {}}},
        {"app", {{"session", "dialogs", "localbrowser", "app/settings", "uikit", "common"}, true, {}}},
        // The command-line client runs on the engine layers only.
        {"cli", {{"listing", "ftp", "app/settings", "common"}, false, {}}},
    };
    return g;
}

QSet<QString> reachable(const QString &layer)
{
    QSet<QString> seen;
    QStringList todo = graph().value(layer).uses;
    while (!todo.isEmpty()) {
        const QString l = todo.takeLast();
        if (seen.contains(l))
            continue;
        seen.insert(l);
        todo += graph().value(l).uses;
    }
    seen.insert(layer);
    return seen;
}

// The layer a source file or an include path belongs to: its first folder, or
// "app/settings" for that sub-folder.
QString layerOf(const QString &relative)
{
    if (relative.startsWith("app/settings/"))
        return "app/settings";
    const int slash = relative.indexOf('/');
    return slash < 0 ? QString() : relative.left(slash);
}

} // namespace

class TestIncludes : public QObject {
    Q_OBJECT
private slots:
    void layersIncludeOnlyWhatTheyUse()
    {
        const QString src = QStringLiteral(TARSEL_SOURCE_DIR "/src");
        const QString qtHeaders = QLibraryInfo::path(QLibraryInfo::HeadersPath);
        const QRegularExpression includeLine(QStringLiteral("^\\s*#\\s*include\\s*([<\"])([^>\"]+)[>\"]"));
        QStringList problems;
        int files = 0;
        QDirIterator it(src, {"*.h", "*.hpp", "*.cpp", "*.cc"}, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            const QString rel = path.mid(src.size() + 1);
            const QString layer = layerOf(rel);
            if (!graph().contains(layer)) {
                problems << rel + ": folder has no place in the layer graph";
                continue;
            }
            ++files;
            const Layer &rules = graph()[layer];
            const QSet<QString> allowed = reachable(layer);
            QFile f(path);
            QVERIFY(f.open(QIODevice::ReadOnly | QIODevice::Text));
            int lineNo = 0;
            while (!f.atEnd()) {
                const QString line = QString::fromUtf8(f.readLine());
                ++lineNo;
                const auto m = includeLine.match(line);
                if (!m.hasMatch())
                    continue;
                const QString target = m.captured(2);
                const QString where = QStringLiteral("%1:%2: ").arg(rel).arg(lineNo);
                if (m.captured(1) == "<") {
                    if (!rules.gui && target.startsWith('Q') &&
                        (QFile::exists(qtHeaders + "/QtGui/" + target) ||
                         QFile::exists(qtHeaders + "/QtWidgets/" + target) || target.startsWith("QtGui/") ||
                         target.startsWith("QtWidgets/")))
                        problems << where + layer + " must build without Qt Gui/Widgets: <" + target + ">";
                    continue;
                }
                const QString to = layerOf(target);
                if (to.isEmpty() || !graph().contains(to))
                    continue; // same-folder or generated header
                if (!allowed.contains(to) && !rules.extra.contains(target))
                    problems << where + layer + " may not include \"" + target + "\"";
            }
        }
        QVERIFY2(files > 0, "no sources found");
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join('\n')));
    }

    // The rules themselves: no layer reaches itself through others, and the engine
    // layers stay free of widgets all the way down.
    void graphIsSound()
    {
        for (auto it = graph().begin(); it != graph().end(); ++it) {
            for (const QString &dep : it.value().uses) {
                QVERIFY2(graph().contains(dep), qPrintable(it.key() + " uses unknown " + dep));
                QVERIFY2(!reachable(dep).contains(it.key()), qPrintable("cycle through " + it.key()));
                if (!it.value().gui)
                    QVERIFY2(!graph()[dep].gui, qPrintable(it.key() + " depends on GUI layer " + dep));
            }
        }
    }
};

QTEST_GUILESS_MAIN(TestIncludes)
#include "tst_includes.moc"
