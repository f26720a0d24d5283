#include <QDir>
#include <QFile>
#include <QTest>

#include "fuzz_listing_one.h"

// Replays the checked-in fuzz corpus through the same checks the fuzz target makes,
// so the normal build guards every input the fuzzer was seeded with or has found.
class TestFuzzCorpus : public QObject {
    Q_OBJECT
private slots:
    void replay()
    {
        const QDir dir(TARSEL_SOURCE_DIR "/tests/listing/fuzz/corpus");
        const QStringList names = dir.entryList(QDir::Files, QDir::Name);
        QVERIFY(!names.isEmpty());
        for (const QString &name : names) {
            QFile f(dir.filePath(name));
            QVERIFY2(f.open(QIODevice::ReadOnly), qPrintable(name));
            const QByteArray data = f.readAll();
            QVERIFY2(tarsel::fuzz::RunListingInput(reinterpret_cast<const std::uint8_t *>(data.constData()),
                                                   std::size_t(data.size())),
                     qPrintable(name));
        }
    }
};

QTEST_APPLESS_MAIN(TestFuzzCorpus)
#include "tst_fuzz_corpus.moc"
