// korvane-spi's Chinese catalog: every text the program can print is in it, translated, with the
// placeholders and line breaks of its English source.
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QXmlStreamReader>

#include <algorithm>

namespace {

const char kCatalog[] = "translations/korvane-spi_zh_CN.ts";

struct Entry
{
    QString context;
    QString source;
    QString translation;
    QString type; // "unfinished", "obsolete", "vanished" or empty
};

// The messages of a .ts file, in file order; false when it cannot be read.
bool readCatalog(const QString& path, QList<Entry>* entries, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = file.errorString();
        return false;
    }
    QXmlStreamReader xml(&file);
    QString context;
    Entry entry;
    while (!xml.atEnd()) {
        xml.readNext();
        if (!xml.isStartElement())
            continue;
        if (xml.name() == QLatin1String("name"))
            context = xml.readElementText();
        else if (xml.name() == QLatin1String("message"))
            entry = Entry{context, QString(), QString(), QString()};
        else if (xml.name() == QLatin1String("source"))
            entry.source = xml.readElementText();
        else if (xml.name() == QLatin1String("translation")) {
            entry.type = xml.attributes().value(QLatin1String("type")).toString();
            entry.translation = xml.readElementText();
            entries->append(entry);
        }
    }
    if (xml.hasError()) {
        *error = xml.errorString();
        return false;
    }
    return true;
}

// The placeholders a text uses, each once, in order: "%1 %2".
QString placeholders(const QString& text)
{
    QSet<int> found;
    static const QRegularExpression pattern(QStringLiteral("%(\\d+)"));
    auto it = pattern.globalMatch(text);
    while (it.hasNext())
        found.insert(it.next().captured(1).toInt());
    QList<int> numbers = found.values();
    std::sort(numbers.begin(), numbers.end());
    QStringList names;
    for (int number : qAsConst(numbers))
        names << QStringLiteral("%%1").arg(number);
    return names.join(QLatin1Char(' '));
}

// How many line breaks the text starts and ends with.
QPair<int, int> newlineShape(const QString& text)
{
    int leading = 0;
    while (leading < text.size() && text.at(leading) == QLatin1Char('\n'))
        ++leading;
    int trailing = 0;
    while (trailing < text.size() - leading && text.at(text.size() - 1 - trailing) == QLatin1Char('\n'))
        ++trailing;
    return {leading, trailing};
}

} // namespace

class TestCliTranslation : public QObject
{
    Q_OBJECT

private:
    QList<Entry> catalog;

private slots:
    void initTestCase()
    {
        QString error;
        QVERIFY2(readCatalog(QStringLiteral(SOURCE_DIR "/") + QLatin1String(kCatalog), &catalog, &error),
                 qPrintable(error));
        QVERIFY(catalog.size() > 100);
    }

    // lupdate over the sources into a copy of the catalog finds no text the catalog lacks and
    // keeps none the sources no longer have.
    void catalogMatchesTheSources()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString copy = dir.filePath(QStringLiteral("korvane-spi_zh_CN.ts"));
        QVERIFY(QFile::copy(QStringLiteral(SOURCE_DIR "/") + QLatin1String(kCatalog), copy));
        QFile::setPermissions(copy, QFile::ReadOwner | QFile::WriteOwner);
        QProcess lupdate;
        lupdate.setWorkingDirectory(QStringLiteral(SOURCE_DIR));
        lupdate.setProcessChannelMode(QProcess::MergedChannels);
        lupdate.start(QStringLiteral(LUPDATE),
                      {"-I", ".", "-locations", "none", "-no-obsolete", "cli", "core", "backends", "-ts",
                       copy, "-source-language", "en", "-target-language", "zh_CN"});
        QVERIFY2(lupdate.waitForFinished(120000), "lupdate did not finish");
        const QString log = QString::fromLocal8Bit(lupdate.readAll());
        QVERIFY2(lupdate.exitStatus() == QProcess::NormalExit && lupdate.exitCode() == 0, qPrintable(log));

        QList<Entry> updated;
        QString error;
        QVERIFY2(readCatalog(copy, &updated, &error), qPrintable(error));
        QSet<QPair<QString, QString>> before;
        for (const Entry& entry : qAsConst(catalog))
            before.insert({entry.context, entry.source});
        QStringList problems;
        QSet<QPair<QString, QString>> after;
        for (const Entry& entry : qAsConst(updated)) {
            after.insert({entry.context, entry.source});
            if (!before.contains({entry.context, entry.source}))
                problems << QStringLiteral("not in the catalog: %1 \"%2\"").arg(entry.context, entry.source);
        }
        for (const Entry& entry : qAsConst(catalog)) {
            if (!after.contains({entry.context, entry.source}))
                problems
                    << QStringLiteral("no longer in the sources: %1 \"%2\"").arg(entry.context, entry.source);
        }
        QVERIFY2(problems.isEmpty(),
                 qPrintable(problems.join(QLatin1Char('\n')) +
                            QStringLiteral("\nupdate it with lupdate as translations/CMakeLists.txt says")));
    }

    void translations_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("translation");
        QTest::addColumn<QString>("type");
        for (const Entry& entry : qAsConst(catalog))
            QTest::addRow("%s: %s", qPrintable(entry.context), qPrintable(entry.source.left(60)))
                << entry.source << entry.translation << entry.type;
    }
    // Finished, not empty, and with the source's %1...%n and leading and trailing line breaks: a
    // lost %2 garbles the message at run time, a lost newline runs two lines together.
    void translations()
    {
        QFETCH(QString, source);
        QFETCH(QString, translation);
        QFETCH(QString, type);
        QVERIFY2(type.isEmpty(), qPrintable(type));
        QVERIFY(!translation.trimmed().isEmpty());
        QCOMPARE(placeholders(translation), placeholders(source));
        QCOMPARE(newlineShape(translation), newlineShape(source));
    }
};

QTEST_GUILESS_MAIN(TestCliTranslation)
#include "tst_clitranslation.moc"
