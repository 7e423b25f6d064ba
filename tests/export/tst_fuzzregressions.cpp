// Replays, through the fuzz targets' own code, every input kept under tests/data/fuzz-regressions:
// inputs a fuzzer once broke on and inputs for the faults found while hardening the engine.
#include "../../fuzz/harness.h"
#include "childprocess.h"

#include <QDirIterator>
#include <QElapsedTimer>
#include <QtTest>

class FuzzRegressionsTest : public QObject
{
    Q_OBJECT

private slots:
    void replay_data();
    void replay();
};

void FuzzRegressionsTest::replay_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("path");
    const QString root = QStringLiteral(POSTLINT_TEST_DATA "/fuzz-regressions");
    QDirIterator it(root, QDir::Files, QDirIterator::Subdirectories);
    int count = 0;
    while (it.hasNext()) {
        const QString path = it.next();
        const QString target = QFileInfo(path).dir().dirName();
        QTest::newRow(qPrintable(target + QLatin1Char('/') + QFileInfo(path).fileName()))
            << target << path;
        ++count;
    }
    QVERIFY2(count > 0, "no inputs found");
}

void FuzzRegressionsTest::replay()
{
    QFETCH(QString, target);
    QFETCH(QString, path);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray input = file.readAll();
    const auto* data = reinterpret_cast<const std::uint8_t*>(input.constData());
    const auto size = std::size_t(input.size());

    QElapsedTimer timer;
    timer.start();
    const char* failure = nullptr;
    if (target == QLatin1String("postcheck"))
        failure = fuzzharness::postCheck(data, size);
    else if (target == QLatin1String("exportreader"))
        failure = fuzzharness::exportReader(data, size);
    else if (target == QLatin1String("tabdelimited"))
        failure = fuzzharness::tabDelimited(data, size);
    else
        QFAIL(qPrintable(QStringLiteral("no fuzz target named %1").arg(target)));
    QVERIFY2(failure == nullptr, failure);
    // libFuzzer's own limit, with room for slow machines and sanitizers.
    QVERIFY(timer.elapsed() < childprocess::secondsAllowed(10) * 1000);
}

QTEST_GUILESS_MAIN(FuzzRegressionsTest)
#include "tst_fuzzregressions.moc"
