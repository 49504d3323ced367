// Bad inputs a user's files can hold, driven through the main window: start
// it, add a place, save. Each case either works or says clearly what is
// wrong, and no place of the journal is lost without the user being asked.

#include "dialogs/form3.h"
#include "guitest.h"
#include "ui/form1.h"
#include "ui/journallist.h"
#include "watchdog.h"

#include <QPushButton>
#include <QTest>
#include <QXmlStreamReader>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

using guitest::StartFolder;

namespace {

const QByteArray kParis = "add_place(\"Paris\",\"worldwind://goto/world=Earth&lat=48.85&lon=2.35\",\"capital\");";
const QByteArray kRock = "add_place(\"Rock & Roll\",\"worldwind://goto/world=Earth&lat=-1&lon=1\",\"\");";
const QByteArray kTwoPlaces = kParis + "\r\n" + kRock + "\r\n";
const QString kAddedRow = QStringLiteral("added\tworldwind://goto/world=Earth&lat=1&lon=2\t");
const QByteArray kAddedLine = "add_place(\"added\",\"worldwind://goto/world=Earth&lat=1&lon=2\",\"\");\r\n";

using guitest::settingsFile;

// A small file system that fills up, where the test may mount one.
class SmallDisk {
public:
    explicit SmallDisk(const QString& path) : path_(QFile::encodeName(path))
    {
        QDir().mkpath(path);
        mounted_ = mount("tmpfs", path_.constData(), "tmpfs", 0, "size=64k") == 0;
    }
    ~SmallDisk()
    {
        if (mounted_)
            umount(path_.constData());
    }
    bool mounted() const { return mounted_; }

private:
    QByteArray path_;
    bool mounted_ = false;
};

// What one case works in: its start folder and, where it needs one, a full
// disk (unmounted when the case ends, before the folder goes).
struct Scene {
    StartFolder start;
    std::unique_ptr<SmallDisk> disk;
};

enum class After { Unchanged, Appended, Custom };

struct Case {
    const char* name;
    // Lays out the start folder; returns false when the case cannot be set up here.
    std::function<bool(Scene&)> prepare;
    // Fragments of the one message at start-up (none expected when empty).
    QStringList atLoad;
    // Fragments of the messages of the save, one list per message, in order.
    QList<QStringList> atSave;
    // The answer to the save's question, where one is asked.
    MessageBox::Answer answer = MessageBox::Cancel;
    // What the journal file holds afterwards: as before, or with the added place.
    After after = After::Unchanged;
    std::function<void(StartFolder&, Form1&)> check = {};
    bool configureCancelled = false;
    // A place too big for a small disk is added too.
    bool bigPlace = false;
};

bool contains(const QString& text, const QStringList& fragments)
{
    for (const QString& f : fragments)
        if (!text.contains(f))
            return false;
    return true;
}

QString shown(const QStringList& messages)
{
    return messages.isEmpty() ? QStringLiteral("(no message)") : messages.join(QStringLiteral("\n---\n"));
}

bool write(Scene& s, const char* name, const QByteArray& bytes)
{
    s.start.write(QString::fromLatin1(name), bytes);
    return true;
}

bool defaults(Scene& s, const QByteArray& journal)
{
    write(s, "velmora.ini", settingsFile());
    return write(s, "velmora.js", journal);
}

// Replaces the journal by what `make` puts at its path.
bool journalAs(Scene& s, const std::function<bool(const QString&)>& make)
{
    return defaults(s, {}) && QFile::remove(s.start.path("velmora.js")) && make(s.start.path("velmora.js"));
}

const std::vector<Case>& cases()
{
    static const QByteArray hugeName(10 * 1024 * 1024, 'n');
    static const QByteArray c1 = [] {
        QByteArray bytes;
        for (int b = 0x80; b < 0xA0; ++b)
            bytes += char(b);
        return bytes;
    }();
    static const auto fifo = [](const QString& path) { return mkfifo(QFile::encodeName(path).constData(), 0600) == 0; };

    static const std::vector<Case> all = {
        {"LF-only journal: the save asks, Cancel keeps the file",
         [](Scene& s) { return defaults(s, kParis + "\n" + kRock + "\n" + kParis + "\n"); },
         {"Line 1 holds more than one place", "could be read: 1 place.\n", "holds 3 places"},
         {{"holds 3 places", "only 1 place was read", "Save anyway?"}}},
        {"LF-only journal saved anyway",
         [](Scene& s) { return defaults(s, kParis + "\n" + kRock + "\n"); },
         {"Line 1 holds more than one place"},
         {{"holds 2 places"}, {"placenames files could not all be written"}},
         MessageBox::Save,
         After::Custom,
         [](StartFolder& s, Form1& f) {
             QCOMPARE(s.read("velmora.js"),
                      QByteArray("add_place(\"Paris\",\"worldwind://goto/world=Earth&lat=48.85&lon=2.35\","
                                 "\"capital\");\r\n")
                          + kAddedLine);
             QCOMPARE(f.List1->count(), 2);
         }},
        {"a 10 MB line",
         [](Scene& s) { return defaults(s, "add_place(\"" + hugeName + "\",\"l\",\"c\");\r\n"); },
         {},
         {{"placenames files could not all be written"}},
         MessageBox::Cancel,
         After::Appended},
        {"NUL bytes and bytes 0x80 to 0x9F in names and comments",
         [](Scene& s) {
             const QByteArray nul(1, '\0');
             return defaults(s, "add_place(\"a" + nul + "b" + c1 + "\",\"l\",\"" + nul + nul + c1 + "\");\r\n" + kRock
                                    + "\r\n");
         },
         {},
         {{"placenames files"}},
         MessageBox::Cancel,
         After::Appended},
        {"journal that is a folder",
         [](Scene& s) { return journalAs(s, [](const QString& path) { return QDir().mkdir(path); }); },
         {"could not be read: it is a folder, not a file"},
         {{"could not be read (it is a folder, not a file)", "Save anyway?"}},
         MessageBox::Cancel,
         After::Custom,
         [](StartFolder& s, Form1&) { QVERIFY(QFileInfo(s.path("velmora.js")).isDir()); }},
        {"journal that is a pipe",
         [](Scene& s) { return journalAs(s, fifo); },
         {"could not be read: it is not a regular file"},
         {{"could not be read (it is not a regular file)"}},
         MessageBox::Cancel,
         After::Custom,
         [](StartFolder& s, Form1&) { QVERIFY(!QFileInfo(s.path("velmora.js")).isFile()); }},
        {"journal linked to /dev/zero",
         [](Scene& s) { return journalAs(s, [](const QString& path) { return QFile::link("/dev/zero", path); }); },
         {"it is not a regular file"},
         {{"it is not a regular file"}},
         MessageBox::Cancel,
         After::Custom,
         [](StartFolder& s, Form1&) {
             QCOMPARE(QFileInfo(s.path("velmora.js")).symLinkTarget(), QStringLiteral("/dev/zero"));
         }},
        {"settings rejected, configuration cancelled: the unread journal is not emptied",
         [](Scene& s) {
             return write(s, "velmora.ini", settingsFile(".\\", ".\\", "arial", "99999"))
                    && write(s, "velmora.js", kTwoPlaces);
         },
         {},
         {{"holds 2 places", "none of them were read"}},
         MessageBox::Cancel,
         After::Unchanged,
         {},
         true},
        {"settings of three lines, configuration cancelled",
         [](Scene& s) {
             return write(s, "velmora.ini", ".\\\r\n.\\\r\narial\r\n") && write(s, "velmora.js", kTwoPlaces);
         },
         {},
         {{"holds 2 places"}},
         MessageBox::Cancel,
         After::Unchanged,
         {},
         true},
        {"settings file that is a pipe does not hang the start",
         [](Scene& s) { return write(s, "velmora.js", kTwoPlaces) && fifo(s.start.path("velmora.ini")); },
         {},
         {{"holds 2 places"}},
         MessageBox::Cancel,
         After::Unchanged,
         {},
         true},
        {"missing save folder",
         [](Scene& s) {
             return write(s, "velmora.ini", settingsFile("missing")) && write(s, "velmora.js", kTwoPlaces);
         },
         {},
         {{"could not be saved", "does not exist"}},
         MessageBox::Cancel,
         After::Unchanged},
        {"empty save folder is the start folder",
         [](Scene& s) { return write(s, "velmora.ini", settingsFile("")) && write(s, "velmora.js", kTwoPlaces); },
         {},
         {{"placenames files"}},
         MessageBox::Cancel,
         After::Appended,
         [](StartFolder&, Form1& f) { QCOMPARE(f.List1->count(), 3); }},
        {"byte-order marks in front of the settings and the journal",
         [](Scene& s) {
             return write(s, "velmora.ini", "\xEF\xBB\xBF" + settingsFile())
                    && write(s, "velmora.js", "\xEF\xBB\xBF" + kTwoPlaces);
         },
         {},
         {{"placenames files"}},
         MessageBox::Cancel,
         After::Custom,
         [](StartFolder& s, Form1& f) {
             QCOMPARE(f.settings.SaveDir, QStringLiteral(".\\"));
             QCOMPARE(s.read("velmora.js"), kTwoPlaces + kAddedLine);
         }},
        {"control characters in the label font",
         [](Scene& s) {
             QDir(s.start.path()).mkpath("ww/add-ons/earth");
             QDir(s.start.path()).mkpath("ww/config/earth");
             return write(s, "velmora.ini",
                          settingsFile(".\\", "ww",
                                       "ar\x01i\x1f"
                                       "al"))
                    && write(s, "velmora.js", kTwoPlaces);
         },
         {},
         {{"placenames files written"}},
         MessageBox::Cancel,
         After::Appended,
         [](StartFolder& s, Form1&) {
             const QByteArray xml = s.read("ww/config/earth/velmora.xml");
             QVERIFY(xml.contains("<Family>ar?i?al</Family>"));
             QXmlStreamReader reader(xml);
             while (!reader.atEnd())
                 reader.readNext();
             QVERIFY2(!reader.hasError(), qPrintable(reader.errorString()));
         }},
        {"World Wind's add-ons is a file",
         [](Scene& s) {
             QDir(s.start.path()).mkpath("ww/config/earth");
             return write(s, "ww/add-ons", "not a folder") && write(s, "velmora.ini", settingsFile(".\\", "ww"))
                    && write(s, "velmora.js", kTwoPlaces);
         },
         {},
         {{"velmora.wwp", "velmora.wpl", "\"add-ons/earth\" does not exist"}},
         MessageBox::Cancel,
         After::Appended,
         [](StartFolder& s, Form1&) { QVERIFY(s.exists("ww/config/earth/velmora.xml")); }},
        {"full disk",
         [](Scene& s) {
             s.disk = std::make_unique<SmallDisk>(s.start.path("small"));
             return s.disk->mounted() && write(s, "velmora.ini", settingsFile("small"))
                    && write(s, "small/velmora.js", kTwoPlaces) && write(s, "velmora.js", {});
         },
         {},
         {{"could not be saved", "No space left on device"}},
         MessageBox::Cancel,
         After::Custom,
         [](StartFolder& s, Form1& f) {
             QCOMPARE(s.read("small/velmora.js"), kTwoPlaces);
             QCOMPARE(QDir(s.path("small")).entryList(QDir::Files | QDir::Hidden), QStringList{"velmora.js"});
             QVERIFY(f.isModified());
         },
         false,
         true},
    };
    return all;
}

}  // namespace

class TestHostile : public QObject {
    Q_OBJECT

private slots:
    void badInputWorksOrSaysSoAndLosesNothingUnasked_data();
    void badInputWorksOrSaysSoAndLosesNothingUnasked();
};

void TestHostile::badInputWorksOrSaysSoAndLosesNothingUnasked_data()
{
    QTest::addColumn<int>("index");
    for (std::size_t i = 0; i < cases().size(); ++i)
        QTest::newRow(cases()[i].name) << int(i);
}

void TestHostile::badInputWorksOrSaysSoAndLosesNothingUnasked()
{
    QFETCH(int, index);
    const Case& c = cases()[std::size_t(index)];
    const Watchdog watchdog(c.name, std::chrono::seconds(60));
    Scene scene;
    if (!c.prepare(scene))
        QSKIP("this case cannot be set up here");
    StartFolder& start = scene.start;
    // Read only as a file: a pipe would block the test itself.
    const QByteArray before = QFileInfo(start.path("velmora.js")).isFile() ? start.read("velmora.js") : QByteArray();
    Form1 form;
    if (c.configureCancelled)
        guitest::whenModal([&](QWidget*) { QTest::mouseClick(form.form3()->Command4, Qt::LeftButton); });
    guitest::startUp(form);
    if (c.atLoad.isEmpty())
        QVERIFY2(MessageBox::history().isEmpty(), qPrintable(shown(MessageBox::history())));
    else
        QVERIFY2(MessageBox::history().size() == 1 && contains(MessageBox::history().first(), c.atLoad),
                 qPrintable(shown(MessageBox::history())));

    MessageBox::clearHistory();
    MessageBox::setNextAnswer(c.answer);
    form.journal()->append(QStringList() << kAddedRow);
    if (c.bigPlace)
        form.journal()->append(QStringList() << QString(100000, QLatin1Char(0x78)) + QStringLiteral("\tl\t"));
    form.Command11->click();
    const QStringList atSave = MessageBox::history();
    bool matches = atSave.size() == c.atSave.size();
    for (qsizetype i = 0; matches && i < atSave.size(); ++i)
        matches = contains(atSave[i], c.atSave[i]);
    QVERIFY2(matches, qPrintable(shown(atSave)));

    if (c.after == After::Unchanged)
        QCOMPARE(start.read("velmora.js"), before);
    if (c.after == After::Appended)
        QCOMPARE(start.read("velmora.js"), before.mid(before.startsWith("\xEF\xBB\xBF") ? 3 : 0) + kAddedLine);
    if (c.check)
        c.check(start, form);
}

QTEST_MAIN(TestHostile)
#include "test_hostile.moc"
