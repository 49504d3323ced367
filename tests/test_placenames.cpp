#include "journal/row.h"
#include "placenamereader.h"
#include "platform/codepage.h"
#include "platform/textfile.h"
#include "worldwind/links.h"
#include "worldwind/placenames.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "printers.h"

#include <random>
#include <thread>

using namespace placenames;

namespace {

const QString kLink = QStringLiteral("worldwind://goto/world=Earth&lat=48.5&lon=2.25");

QByteArray hex(const char* text)
{
    return QByteArray::fromHex(text);
}

placenamereader::DataFile readBack(const QStringList& rows)
{
    const auto file = placenamereader::readDataFile(dataFile(rows));
    EXPECT_TRUE(file.has_value());
    return file.value_or(placenamereader::DataFile{});
}

QList<QByteArray> xmlLines(const LabelFont& font)
{
    QList<QByteArray> lines = layerSetFile(font).split('\n');
    EXPECT_EQ(lines.takeLast(), QByteArray());  // every line, the last too, ends with CR LF
    for (QByteArray& l : lines) {
        EXPECT_TRUE(l.endsWith('\r')) << l.constData();
        l.chop(1);
    }
    return lines;
}

// A record built the plain way: splitRow, QString::split, one encoded text
// after another.
QByteArray plainRecord(const QString& row)
{
    const RowFields f = splitRow(row);
    const QStringList link = f.link.split(u'&');
    auto coordinate = [&](int i) {
        const QStringList pair = i < link.size() ? link[i].split(u'=') : QStringList();
        return pair.size() < 2 ? 0.0f : links::readNumber(pair[1]);
    };
    QByteArray out;
    auto text = [&out](const QString& t) {
        const QByteArray bytes = codepage::encode(t);
        quint32 n = quint32(bytes.size());
        for (; n >= 0x80; n >>= 7)
            out += char(0x80 | (n & 0x7F));
        out += char(n) + bytes;
    };
    auto number = [&out](auto v) { out += QByteArray(reinterpret_cast<const char*>(&v), 4); };
    text(f.name);
    number(coordinate(1));
    number(coordinate(2));
    number(qint32(1));
    text(QStringLiteral("Comment"));
    text(f.comment);
    return out;
}

QByteArray fileBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

}  // namespace

TEST(Placenames, EmptyJournalGivesCountEndByteFixedListAndFullLayerSet)
{
    EXPECT_EQ(dataFile({}), hex("0000000000"));
    EXPECT_EQ(listFile(), hex("010000000B76656C6D6F72612E777770000034C30000B4C2000034430000B442"));
    const QByteArray expected =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
        "<LayerSet Name=\"Velmora\" ShowOnlyOneLayer=\"false\" ShowAtStartup=\"true\" "
        "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" xsi:noNamespaceSchemaLocation=\"LayerSet.xsd\">\r\n"
        "    <TiledPlacenameSet ShowAtStartup=\"true\">\r\n"
        "        <Name>Velmora</Name>\r\n"
        "        <DistanceAboveSurface>1000</DistanceAboveSurface>\r\n"
        "        <MinimumDisplayAltitude>0</MinimumDisplayAltitude>\r\n"
        "        <MaximumDisplayAltitude>100000000</MaximumDisplayAltitude>\r\n"
        "        <PlacenameListFilePath>add-ons\\earth\\velmora\\velmora.wpl</PlacenameListFilePath>\r\n"
        "        <DisplayFont>\r\n"
        "         <Family>arial</Family>\r\n"
        "         <Size> 10 </Size>\r\n"
        "         <Style>\r\n"
        "         </Style>\r\n"
        "        </DisplayFont>\r\n"
        "          <RGBColor>\r\n"
        "            <Red> 255 </Red>\r\n"
        "            <Green> 255 </Green>\r\n"
        "            <Blue> 255 </Blue>\r\n"
        "         </RGBColor>\r\n"
        "    </TiledPlacenameSet>\r\n"
        "    <ExtendedInfomation>\r\n"
        "        <ToolBarImage>Data\\Icons\\interface\\places2.png</ToolBarImage>\r\n"
        "    </ExtendedInfomation>\r\n"
        "</LayerSet>\r\n";
    EXPECT_EQ(layerSetFile({QStringLiteral("arial")}), expected);
}

TEST(Placenames, ColourSplitsIntoItsBytes)
{
    struct Case {
        qint32 color;
        const char *red, *green, *blue;
    };
    for (const Case& c : {Case{255, " 255 ", " 0 ", " 0 "}, Case{65280, " 0 ", " 255 ", " 0 "},
                          Case{16711680, " 0 ", " 0 ", " 255 "}, Case{16777215, " 255 ", " 255 ", " 255 "},
                          Case{0x123456, " 86 ", " 52 ", " 18 "}, Case{0, " 0 ", " 0 ", " 0 "}}) {
        const auto lines = xmlLines({QStringLiteral("arial"), 10, c.color});
        EXPECT_EQ(lines[15], QByteArray("            <Red>") + c.red + "</Red>") << c.color;
        EXPECT_EQ(lines[16], QByteArray("            <Green>") + c.green + "</Green>") << c.color;
        EXPECT_EQ(lines[17], QByteArray("            <Blue>") + c.blue + "</Blue>") << c.color;
    }
}

TEST(Placenames, StyleLinesFamilyAndSize)
{
    auto both = xmlLines({QStringLiteral("Times New Roman"), 12, 0, true, true});
    ASSERT_EQ(both.size(), 26);
    EXPECT_EQ(both[11], "         <Style>");
    EXPECT_EQ(both[12], "                <IsBold>true</IsBold>");
    EXPECT_EQ(both[13], "                <IsItalic>true</IsItalic>");
    EXPECT_EQ(both[14], "         </Style>");
    auto italic = xmlLines({QStringLiteral("x"), 10, 0, false, true});
    ASSERT_EQ(italic.size(), 25);
    EXPECT_EQ(italic[12], "                <IsItalic>true</IsItalic>");

    auto odd = xmlLines({QString::fromUtf8("Caf\u00e9 & <Sans> \u5b57"), -5});
    EXPECT_EQ(odd[9], "         <Family>Caf\xE9 &amp; &lt;Sans&gt; ?</Family>");
    EXPECT_EQ(odd[10], "         <Size>-5 </Size>");
    // Control characters cannot stand in XML 1.0.
    EXPECT_EQ(xmlLines({QStringLiteral("ar\x01i\x1f"
                                       "al")})[9],
              "         <Family>ar?i?al</Family>");
}

TEST(Placenames, FiveLetterNameWithEmptyCommentIs27Bytes)
{
    const QByteArray bytes = dataFile({QStringLiteral("Paris\t") + kLink + u'\t'});
    EXPECT_EQ(bytes, hex("01000000"
                         "055061726973"
                         "00004242"
                         "00001040"
                         "01000000"
                         "07436F6D6D656E74"
                         "00"
                         "00"));
    EXPECT_EQ(bytes.size() - 5, 27);
}

TEST(Placenames, CoordinatesAreLinkFieldsOneAndTwoByPosition)
{
    struct Case {
        const char* link;
        float lat, lon;
    };
    for (const Case& c : {
             Case{"worldwind://goto/world=Earth&lat=0.00000&lon=0.00000&view=180.00000", 0, 0},
             Case{"worldwind://goto/world=Earth&lat=-33.86785&lon=151.20732", -33.86785f, 151.20732f},
             Case{"worldwind://goto/world=Earth&lon=2.25&lat=48.5", 2.25f, 48.5f},
             Case{"worldwind://goto/world=Earth&lat=48,5&lon=east", 48, 0},
             Case{"worldwind://goto/world=Earth&lat=1=2&lon=", 1, 0},
             Case{"worldwind://goto/world=Earth&lat48.5&lon=3", 0, 3},
             Case{"worldwind://goto/world=Earth&lat=12", 12, 0},
             Case{"worldwind://goto/world=Earth", 0, 0},
         }) {
        const auto file = readBack({QStringLiteral("p\t") + QLatin1String(c.link) + QStringLiteral("\tc")});
        ASSERT_EQ(file.places.size(), 1);
        EXPECT_EQ(file.places[0].latitude, c.lat) << c.link;
        EXPECT_EQ(file.places[0].longitude, c.lon) << c.link;
    }
}

TEST(Placenames, IncompleteRowsDoNotInheritThePreviousRow)
{
    const auto file = readBack({QStringLiteral("Full\t") + kLink + QStringLiteral("\tA comment"),
                                QStringLiteral("Lonely"), QStringLiteral("Half\tworldwind://goto/world=Earth&lat=7"),
                                QString(), QStringLiteral("Tab\t&l\tx=9&&&lon")});
    ASSERT_EQ(file.places.size(), 5);
    const float expected[5][2] = {{48.5f, 2.25f}, {0, 0}, {7, 0}, {0, 0}, {0, 0}};
    const char* names[5] = {"Full", "Lonely", "Half", "", "Tab"};
    const char* comments[5] = {"A comment", "", "", "", "x=9&&&lon"};
    for (int i = 0; i < 5; ++i) {
        const auto& p = file.places[i];
        EXPECT_EQ(p.name, names[i]);
        EXPECT_EQ(p.latitude, expected[i][0]) << i;
        EXPECT_EQ(p.longitude, expected[i][1]) << i;
        ASSERT_EQ(p.metadata.size(), 1);
        EXPECT_EQ(p.metadata[0].first, "Comment");
        EXPECT_EQ(p.metadata[0].second, comments[i]);
    }
    EXPECT_EQ(file.rest, QByteArray(1, '\0'));
}

// Rows of every shape: TABs, "&", "=" and characters outside ASCII at all
// positions, texts on both sides of 8, 16 and 128 characters.
TEST(Placenames, AnyRowGivesThePlainRecord)
{
    const QString alphabet = QString::fromUtf8("aaaaaaaaZ09.-=&&\t\t \u00e9\u20ac\u5b57")
                             + QString::fromUcs4(U"\U0001F600");
    std::mt19937 random(7);
    QStringList rows;
    QByteArray records;
    for (int i = 0; i < 3000; ++i) {
        QString row;
        const int length = int(random() % (i % 10 == 0 ? 400 : 60));
        for (int k = 0; k < length; ++k)
            row += alphabet[int(random() % alphabet.size())];
        if (i % 3 == 0)
            row = QStringLiteral("Place %1\tworldwind://goto/world=Earth&lat=%2&lon=-%1.5\t").arg(i).arg(i % 90) + row;
        rows << row;
        records += plainRecord(row);
        ASSERT_EQ(dataFile({row}), hex("01000000") + plainRecord(row) + '\0') << qPrintable(row);
    }
    const QByteArray all = dataFile(rows);
    EXPECT_EQ(all.mid(4), records + '\0');
    EXPECT_EQ(all.first(4), hex("B80B0000"));
}

TEST(Placenames, TextsAreWrittenAsTheyStandInTheCodePage)
{
    const QString name = QStringLiteral("Tom & \"Jerry\" <b>");
    const QString comment = QString::fromUtf8("&lt; caf\u00e9 \u20ac \u0416 \U0001F600!");
    const auto file = readBack({name + u'\t' + kLink + u'\t' + comment});
    ASSERT_EQ(file.places.size(), 1);
    EXPECT_EQ(file.places[0].name, "Tom & \"Jerry\" <b>");
    // A character outside the code page, even one written as two UTF-16 units, is one "?".
    EXPECT_EQ(file.places[0].metadata[0].second, "&lt; caf\xE9 \x80 ? ?!");
}

TEST(Placenames, LongTextsCarryASevenBitLength)
{
    struct Case {
        int length;
        const char* prefix;
    };
    for (const Case& c : {Case{127, "7F"}, Case{128, "8001"}, Case{200, "C801"}, Case{300, "AC02"}, Case{16383, "FF7F"},
                          Case{16384, "808001"}}) {
        const QString name(c.length, u'n');
        const QByteArray bytes = dataFile({name});
        EXPECT_EQ(bytes.mid(4, qstrlen(c.prefix) / 2), hex(c.prefix)) << c.length;
        const auto file = placenamereader::readDataFile(bytes);
        ASSERT_TRUE(file) << c.length;
        EXPECT_EQ(file->places[0].name, QByteArray(c.length, 'n'));
    }
}

TEST(Placenames, ReaderGetsBackEveryPlaceWritten)
{
    const QString longName = QString(300, u'N');
    const QString longComment = QString(199, u'c') + QChar(0xE9);
    const auto file = readBack({QStringLiteral("First\t") + kLink + QStringLiteral("\tshort"),
                                longName + u'\t' + kLink + u'\t' + longComment,
                                QStringLiteral("After\tworldwind://goto/world=Earth&lat=-1.5&lon=-2\tend\textra")});
    ASSERT_EQ(file.places.size(), 3);
    EXPECT_EQ(file.places[0].name, "First");
    EXPECT_EQ(file.places[0].metadata[0].second, "short");
    EXPECT_EQ(file.places[1].name, QByteArray(300, 'N'));
    EXPECT_EQ(file.places[1].metadata[0].second, QByteArray(199, 'c') + '\xE9');
    EXPECT_EQ(file.places[1].latitude, 48.5f);
    EXPECT_EQ(file.places[2].name, "After");
    EXPECT_EQ(file.places[2].latitude, -1.5f);
    EXPECT_EQ(file.places[2].longitude, -2.0f);
    EXPECT_EQ(file.places[2].metadata, (QList<QPair<QByteArray, QByteArray>>{{"Comment", "end"}}));
    EXPECT_EQ(file.rest, QByteArray(1, '\0'));
}

namespace {

// Enough rows for several pieces, and rows longer than a piece.
QStringList manyRows()
{
    QStringList rows;
    for (int i = 0; i < 40000; ++i) {
        rows << QStringLiteral("Caf\u00e9 %1 & co\tworldwind://goto/world=Earth&lat=%2.5&lon=-%3\tcomment %1")
                    .arg(i)
                    .arg(i % 90)
                    .arg(i % 180);
        if (i == 20000 || i == 39999)
            rows << QString(1536 * 1024, u'N') + u'\t' + kLink + u'\t' + QString(700 * 1024, u'c');
    }
    return rows;
}

// The data file of `rows` built the plain way, record after record.
QByteArray plainDataFile(const QStringList& rows)
{
    QByteArray out(4, Qt::Uninitialized);
    qToLittleEndian(qint32(rows.size()), out.data());
    for (const QString& row : rows)
        out += plainRecord(row);
    return out + '\0';
}

}  // namespace

TEST(Placenames, ALargeJournalGoesOutInPiecesThatMakeTheWholeFile)
{
    const QStringList rows = manyRows();
    QByteArray joined;
    int pieces = 0;
    EXPECT_TRUE(dataFilePieces(rows, [&](QByteArrayView piece) {
        ++pieces;
        joined += piece;
        return true;
    }));
    EXPECT_GT(pieces, 3);
    EXPECT_EQ(joined, plainDataFile(rows));
    // Stopped by the receiver: no piece after that.
    pieces = 0;
    EXPECT_FALSE(dataFilePieces(rows, [&](QByteArrayView) { return ++pieces < 2; }));
    EXPECT_EQ(pieces, 2);
}

class PlacenamesWrite : public ::testing::Test {
protected:
    QTemporaryDir ww;
    QString at(const QString& relative) const { return ww.filePath(relative); }
    void makeFolders(const QStringList& relatives) const
    {
        for (const QString& r : relatives)
            ASSERT_TRUE(QDir().mkpath(at(r)));
    }
};

TEST_F(PlacenamesWrite, WritesTheThreeFilesTheSameEachTime)
{
    makeFolders({"add-ons/earth", "config/earth"});
    const QStringList rows{QStringLiteral("Paris\t") + kLink + QStringLiteral("\tTower")};
    const LabelFont font{QStringLiteral("arial"), 14, 255, true};
    QFile old(at("add-ons/earth/velmora/velmora.wwp"));
    ASSERT_TRUE(QDir().mkdir(at("add-ons/earth/velmora")) && old.open(QIODevice::WriteOnly));
    old.write("an older, longer journal");
    old.close();

    // Typed Windows style, with the separator the default ".\" also ends with.
    ASSERT_TRUE(write(ww.path() + u'\\', rows, font).ok());
    const QByteArray first = fileBytes(at("add-ons/earth/velmora/velmora.wwp"));
    EXPECT_EQ(first, dataFile(rows));
    EXPECT_EQ(fileBytes(at("add-ons/earth/velmora/velmora.wpl")), listFile());
    EXPECT_EQ(fileBytes(at("config/earth/velmora.xml")), layerSetFile(font));

    // Files that hold their bytes already are left as they are; a changed one is replaced.
    const auto inode = [&](const char* file) {
        struct stat st {};
        return ::stat(QFile::encodeName(at(QString::fromLatin1(file))).constData(), &st) == 0 ? st.st_ino : 0;
    };
    const auto wpl = inode("add-ons/earth/velmora/velmora.wpl"), wwp = inode("add-ons/earth/velmora/velmora.wwp");
    ASSERT_TRUE(write(ww.path(), rows + rows, font).ok());
    EXPECT_EQ(inode("add-ons/earth/velmora/velmora.wpl"), wpl);
    EXPECT_NE(inode("add-ons/earth/velmora/velmora.wwp"), wwp);
    ASSERT_TRUE(write(ww.path(), rows, font).ok());
    EXPECT_EQ(fileBytes(at("add-ons/earth/velmora/velmora.wwp")), first);
    EXPECT_EQ(QDir(at("add-ons/earth/velmora")).entryList(QDir::Files), (QStringList{"velmora.wpl", "velmora.wwp"}));
}

TEST_F(PlacenamesWrite, FindsFoldersSpelledInOtherCase)
{
    makeFolders({"Add-ons/Earth", "CONFIG/earth"});
    ASSERT_TRUE(write(ww.path(), {}, {}).ok());
    EXPECT_EQ(fileBytes(at("Add-ons/Earth/velmora/velmora.wwp")), hex("0000000000"));
    EXPECT_TRUE(QFile::exists(at("CONFIG/earth/velmora.xml")));
    EXPECT_EQ(QDir(ww.path()).entryList(QDir::Dirs | QDir::NoDotAndDotDot), (QStringList{"Add-ons", "CONFIG"}));
}

TEST_F(PlacenamesWrite, NamesEachFileNotWrittenAndWritesTheOthers)
{
    // A folder without World Wind in it gets nothing, and one line says why.
    makeFolders({"add-ons"});
    const QString native = QDir::toNativeSeparators(ww.path());
    Result r = write(ww.path(), {}, {});
    EXPECT_EQ(r.failures, QStringList{QStringLiteral("the folder \"%1\" holds no World Wind: it has neither \"%2\" "
                                                     "nor \"%3\"")
                                          .arg(native, QDir::toNativeSeparators(QStringLiteral("add-ons/earth")),
                                               QDir::toNativeSeparators(QStringLiteral("config/earth")))});
    EXPECT_EQ(r.failures, QStringList{noWorldWind(ww.path())});
    EXPECT_EQ(QDir(at("add-ons")).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList());
    r = write(QStringLiteral("%1/missing").arg(ww.path()), {}, {});
    EXPECT_EQ(r.failures, QStringList{QStringLiteral("the World Wind folder \"%1\" does not exist")
                                          .arg(QDir::toNativeSeparators(at("missing")))});

    // Half a World Wind: the files that can be written are, the others named.
    makeFolders({"add-ons/earth"});
    EXPECT_EQ(noWorldWind(ww.path()), QString());
    r = write(ww.path(), {}, {});
    ASSERT_EQ(r.failures.size(), 1);
    EXPECT_EQ(r.failures[0], QDir::toNativeSeparators(at("config/earth/velmora.xml"))
                                 + QStringLiteral(": the folder \"%1\" does not exist in the World Wind folder")
                                       .arg(QDir::toNativeSeparators(QStringLiteral("config/earth"))));
    EXPECT_TRUE(QFile::exists(at("add-ons/earth/velmora/velmora.wpl")));

    makeFolders({"config/earth/velmora.xml"});  // a folder where the file should go
    r = write(ww.path(), {}, {});
    ASSERT_EQ(r.failures.size(), 1);
    EXPECT_TRUE(r.failures[0].contains(u"velmora.xml: "));
    EXPECT_EQ(QDir(at("config/earth")).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList{"velmora.xml"});
}

// Which folders hold a World Wind: either of its two folders is enough,
// in any case of letters.
TEST_F(PlacenamesWrite, AWorldWindFolderHasAddOnsOrConfig)
{
    makeFolders({"ww/add-ons/earth", "half/config/earth", "none/add-ons", "ww2/Add-ons/Earth"});
    const struct {
        const char* folder;
        bool worldWind;
    } cases[] = {{"ww", true}, {"half", true}, {"ww2", true}, {"none", false}, {"gone", false}};
    for (const auto& c : cases)
        EXPECT_EQ(noWorldWind(at(QString::fromLatin1(c.folder))).isEmpty(), c.worldWind) << c.folder;
}

TEST_F(PlacenamesWrite, LayerFolderThatIsAFile)
{
    makeFolders({"add-ons/earth", "config/earth"});
    QFile blocker(at("add-ons/earth/velmora"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const Result r = write(ww.path(), {}, {});
    ASSERT_EQ(r.failures.size(), 2);
    EXPECT_TRUE(r.failures[0].contains(u"is a file, not a folder"));
    EXPECT_TRUE(QFile::exists(at("config/earth/velmora.xml")));
}

TEST_F(PlacenamesWrite, TheDataFileWrittenAheadTakesItsPlaceWhole)
{
    const QStringList rows = manyRows();
    const QByteArray expected = plainDataFile(rows);
    const QString data = at("add-ons/earth/velmora/velmora.wwp");
    const struct {
        const char* what;
        bool layerFolderBefore;  // there when the draft is made
        bool stopped;            // the draft stopped halfway, then wanted after all
    } cases[] = {
        {"written ahead", true, false},
        {"no layer folder yet", false, false},
        {"stopped halfway", true, true},
    };
    for (const auto& c : cases) {
        QDir(at("add-ons")).removeRecursively();
        makeFolders({"add-ons/earth", "config/earth"});
        if (c.layerFolderBefore)
            makeFolders({"add-ons/earth/velmora"});
        DataDraft draft(ww.path(), rows);
        if (c.stopped)
            draft.stop();
        std::thread ahead([&draft] { draft.make(); });
        ahead.join();
        EXPECT_TRUE(writeWith(ww.path(), draft, {}).ok()) << c.what;
        EXPECT_EQ(fileBytes(data), expected) << c.what;
        EXPECT_EQ(QDir(at("add-ons/earth/velmora")).entryList(QDir::Files), (QStringList{"velmora.wpl", "velmora.wwp"}))
            << c.what;
    }
    // Written again with the same bytes, the file stays the one it was.
    struct stat before {
    }, after{};
    ASSERT_EQ(::stat(QFile::encodeName(data).constData(), &before), 0);
    ASSERT_TRUE(write(ww.path(), rows, {}).ok());
    ASSERT_EQ(::stat(QFile::encodeName(data).constData(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
}

TEST(NewFile, AFileThatHoldsTheNewBytesIsKeptOnlyWhenAllOfThemMatch)
{
    const struct {
        const char* what;
        const char* old;  // nullptr: no file there
        QList<QByteArray> pieces;
        bool replacedMeanwhile;  // another writer put the same bytes in its place
        bool kept;
    } cases[] = {
        {"the same bytes in pieces", "abcdef", {"ab", "cde", "f"}, false, true},
        {"the last byte differs", "abcdef", {"abc", "deX"}, false, false},
        {"shorter", "abcdef", {"abc"}, false, false},
        {"longer", "abc", {"abc", "def"}, false, false},
        {"no file before", nullptr, {"abc"}, false, false},
        {"nothing to nothing", "", {}, false, true},
        {"replaced by another writer meanwhile", "abcdef", {"abcdef"}, true, false},
    };
    for (const auto& c : cases) {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("velmora.wwp"));
        if (c.old) {
            ASSERT_TRUE(textfile::writeAtomically(path, c.old));
        }
        struct stat before {
        }, after{};
        ::stat(QFile::encodeName(path).constData(), &before);
        textfile::NewFile file(path, textfile::NewFile::IfSame::Keep);
        ASSERT_TRUE(file.open()) << c.what;
        QByteArray all;
        for (const QByteArray& piece : c.pieces) {
            EXPECT_TRUE(file.write(piece)) << c.what;
            all += piece;
        }
        if (c.replacedMeanwhile) {
            ASSERT_TRUE(textfile::writeAtomically(path, c.old));
            ::stat(QFile::encodeName(path).constData(), &before);
        }
        EXPECT_TRUE(file.commit()) << c.what << ": " << file.error().toStdString();
        EXPECT_EQ(file.kept(), c.kept) << c.what;
        EXPECT_EQ(fileBytes(path), all) << c.what;
        ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &after), 0) << c.what;
        EXPECT_EQ(after.st_ino == before.st_ino, c.kept) << c.what;
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"velmora.wwp"}) << c.what;
    }
}

TEST(NewFile, WhereNoNewFileCanBeMadeTheSameBytesAreStillKept)
{
    if (geteuid() == 0)
        GTEST_SKIP() << "root makes files in any folder";
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("velmora.wwp"));
    ASSERT_TRUE(textfile::writeAtomically(path, "abcdef"));
    ASSERT_EQ(::chmod(QFile::encodeName(dir.path()).constData(), 0555), 0);
    for (const QByteArray& bytes : {QByteArray("abcdef"), QByteArray("abcdeX")}) {
        textfile::NewFile file(path, textfile::NewFile::IfSame::Keep);
        const bool ok = file.open() && file.write(bytes) && file.commit();
        EXPECT_EQ(ok, bytes == "abcdef") << bytes.constData();
        EXPECT_EQ(ok, file.error().isEmpty()) << file.error().toStdString();
    }
    EXPECT_EQ(fileBytes(path), "abcdef");
    ::chmod(QFile::encodeName(dir.path()).constData(), 0755);
}
