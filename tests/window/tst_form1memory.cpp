// The window when memory runs out in the middle of a run: a message, empty tables, and a window
// that goes on working. The run is made in a child process under a limit on its address space.
#include "childprocess.h"
#include "formdriver.h"
#include "window/windowtexts.h"

#include <QApplication>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>

#include <cstring>

namespace {

constexpr char childFlag[] = "--out-of-memory-child";

long addressSpaceMb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmSize:"))
            return line.mid(7).trimmed().split(' ').first().toLong() / 1024;
    }
    return 0;
}

// Arguments: the export too big for the limit, then a small one. Prints the messages shown and
// the rows listed after each run.
int childMain(int argc, char** argv)
{
    QApplication application(argc, argv);
    FormDriver driver(false);
    const QStringList args = application.arguments();
    // Qt hands large fills to painting threads that it starts on demand; started once memory has
    // run out they fail, and Qt waits for them for ever. Start them while there is memory.
    QImage image(1000, 1000, QImage::Format_ARGB32_Premultiplied);
    QPainter(&image).fillRect(image.rect(), Qt::white);
    // Room for a window and a small run, far too little for the big one.
    childprocess::limitAddressSpace(addressSpaceMb() + 400);
    for (const QString& path : args.mid(2)) {
        driver.run(path);
        driver.click(QStringLiteral("OptionErrors"));
        std::printf("rows\t%lld\t%s\n", static_cast<long long>(driver.column(0).size()),
                    qPrintable(driver.form->windowTitle().section(u'—', 1, 1)));
    }
    for (const QString& message : std::as_const(driver.dialogs->messages))
        std::printf("message\t%s\n", message.toUtf8().constData());
    return 0;
}

} // namespace

class Form1MemoryTest : public QObject
{
    Q_OBJECT

private slots:
    void outOfMemoryEmptiesTheTables();
};

void Form1MemoryTest::outOfMemoryEmptiesTheTables()
{
#ifdef POSTLINT_UNDER_ASAN
    QSKIP("the sanitizers reserve more address space than the limit allows");
#endif
    QTemporaryDir dir;
    const QString big = dir.filePath(QStringLiteral("big.xml"));
    QFile file(big);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("<rss xmlns:content=\"http://purl.org/rss/1.0/modules/content/\"><channel>");
    const QByteArray item =
        "<item><title>t</title><content:encoded>&lt;a href='x'&gt;</content:encoded></item>";
    file.write(item.repeated(600000));
    file.write("</channel></rss>");
    file.close();

    QProcess child;
    child.start(QCoreApplication::applicationFilePath(),
                {QString::fromLatin1(childFlag), big, testData(QStringLiteral("garden.xml"))});
    QVERIFY(child.waitForFinished(120000));
    QCOMPARE(child.exitStatus(), QProcess::NormalExit);
    QCOMPARE(child.exitCode(), 0);
    const QStringList lines = QString::fromUtf8(child.readAllStandardOutput()).split(u'\n');
    // The title counts nothing of the emptied tables, and says why.
    QCOMPARE(lines.mid(0, 3), (QStringList{"rows\t0\t not checked: out of memory ",
                                           "rows\t4\t 4 posts, 2 not well-formed, 2 links, 0 "
                                           "findings ",
                                           "message\t" + WindowTexts::outOfMemory}));
}

int main(int argc, char** argv)
{
    if (argc > 1 && std::strcmp(argv[1], childFlag) == 0)
        return childMain(argc, argv);
    QApplication application(argc, argv);
    Form1MemoryTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_form1memory.moc"
