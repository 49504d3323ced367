// The settings file "velmora.ini": exact bytes, the comma-delimited reader,
// the range checks and the partial reads that send the user to the dialog.

#include "settings/settings.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "printers.h"

#include <sys/stat.h>

namespace {

QByteArray lines(std::initializer_list<const char*> list)
{
    QByteArray out;
    for (const char* l : list)
        out += QByteArray(l) + "\r\n";
    return out;
}

Settings custom()
{
    Settings s;
    s.SaveDir = QString::fromUtf8("D:\\Données\\€\\");
    s.WWDir = QStringLiteral("C:\\Program Files\\WW\\");
    s.fontName_ = QStringLiteral("Tahoma");
    s.fontSize_ = 14;
    s.fontColor_ = 255;
    s.fontBold_ = true;
    s.fontItalic_ = false;
    return s;
}

}  // namespace

TEST(SettingsFile, DefaultsAreWrittenByteForByte)
{
    EXPECT_EQ(settingsfile::bytes(Settings{}),
              QByteArray(".\\\r\n.\\\r\narial\r\n 10 \r\n 16777215 \r\nFalse\r\nFalse\r\n"));
}

TEST(SettingsFile, WrittenSettingsReadBack)
{
    EXPECT_TRUE(settingsfile::bytes(custom()).startsWith("D:\\Donn\xE9"
                                                         "es\\\x80\\\r\n"));  // Windows-1252
    for (const Settings& s : {Settings{}, custom()}) {
        Settings back;
        back.fontName_ = QStringLiteral("changed");
        ASSERT_TRUE(settingsfile::parse(settingsfile::bytes(s), back));
        EXPECT_EQ(back, s);
    }
}

TEST(SettingsFile, NegativeNumbersCarryTheirSignInPlaceOfTheBlank)
{
    Settings s;
    s.fontSize_ = -5;
    s.fontColor_ = -1;
    const QByteArray b = settingsfile::bytes(s);
    EXPECT_TRUE(b.contains("\r\n-5 \r\n-1 \r\n")) << b.constData();
    Settings back;
    ASSERT_TRUE(settingsfile::parse(b, back));
    EXPECT_EQ(back.fontSize_, -5);
    EXPECT_EQ(back.fontColor_, -1);
}

// A comma would split the field, blanks at either end would be trimmed away
// by the reader: such values are quoted and must come back exactly.
TEST(SettingsFile, AwkwardTextsAreQuotedAndReadBackAsWritten)
{
    Settings s;
    s.SaveDir = QStringLiteral("C:\\Places, old\\");
    s.WWDir = QStringLiteral(" C:\\WW");
    s.fontName_ = QStringLiteral("Arial ");
    const QByteArray b = settingsfile::bytes(s);
    EXPECT_TRUE(b.startsWith("\"C:\\Places, old\\\"\r\n\" C:\\WW\"\r\n\"Arial \"\r\n")) << b.constData();
    Settings back;
    ASSERT_TRUE(settingsfile::parse(b, back));
    EXPECT_EQ(back, s);
}

TEST(SettingsFile, ReaderSkipsLeadingBlanksAndTakesQuotedFieldsWhole)
{
    Settings s;
    ASSERT_TRUE(
        settingsfile::parse(lines({"  \"D:\\a,b\\\"", "\"\"", "  Verdana  ", "12", "  0  ", "True", "false"}), s));
    EXPECT_EQ(s.SaveDir, QStringLiteral("D:\\a,b\\"));
    EXPECT_EQ(s.WWDir, QString());
    EXPECT_EQ(s.fontName_, QStringLiteral("Verdana"));
    EXPECT_EQ(s.fontSize_, 12);
    EXPECT_EQ(s.fontColor_, 0);
    EXPECT_TRUE(s.fontBold_);
    EXPECT_FALSE(s.fontItalic_);
}

TEST(SettingsFile, PartialFilesKeepWhatWasReadBeforeTheFailure)
{
    // Only the three texts come from the file; the rest keep their defaults.
    Settings firstThree;
    firstThree.SaveDir = QStringLiteral("D:\\j\\");
    firstThree.WWDir = QStringLiteral("E:\\ww\\");
    firstThree.fontName_ = QStringLiteral("Courier");
    {
        Settings s;
        EXPECT_FALSE(settingsfile::parse(lines({"D:\\j\\", "E:\\ww\\", "Courier"}), s));
        EXPECT_EQ(s, firstThree);
    }
    {
        Settings s;
        EXPECT_FALSE(settingsfile::parse(lines({"D:\\j\\", "E:\\ww\\", "Courier", "big", " 0 ", "True", "True"}), s));
        EXPECT_EQ(s, firstThree);
    }
    {
        Settings s;
        EXPECT_FALSE(settingsfile::parse(lines({"a", "b", "c", " 9 ", " 5 ", "True", "maybe"}), s));
        EXPECT_EQ(s.fontColor_, 5);
        EXPECT_TRUE(s.fontBold_);
        EXPECT_FALSE(s.fontItalic_);
    }
    Settings s;
    EXPECT_FALSE(settingsfile::parse(QByteArray(), s));
    EXPECT_EQ(s, Settings{});
}

TEST(SettingsFile, NumbersMustFitTheirType)
{
    const auto sizeAccepted = [](const char* size) {
        Settings s;
        return settingsfile::parse(lines({"a", "b", "c", size, " 1 ", "False", "False"}), s);
    };
    EXPECT_TRUE(sizeAccepted(" 32767 "));
    EXPECT_TRUE(sizeAccepted("-32768 "));
    EXPECT_FALSE(sizeAccepted(" 32768 "));
    EXPECT_FALSE(sizeAccepted("-32769 "));
    EXPECT_FALSE(sizeAccepted(" 10.5 "));

    const auto colourAccepted = [](const char* colour) {
        Settings s;
        return settingsfile::parse(lines({"a", "b", "c", " 10 ", colour, "False", "False"}), s);
    };
    EXPECT_TRUE(colourAccepted(" 2147483647 "));
    EXPECT_FALSE(colourAccepted(" 2147483648 "));
    EXPECT_FALSE(colourAccepted(" white "));
}

TEST(SettingsFile, BooleansAcceptNumbers)
{
    const auto flags = [](const char* bold, const char* italic) {
        Settings s;
        s.fontBold_ = !s.fontBold_;
        s.fontItalic_ = !s.fontItalic_;
        EXPECT_TRUE(settingsfile::parse(lines({"a", "b", "c", " 10 ", " 1 ", bold, italic}), s)) << bold << italic;
        return std::pair(s.fontBold_, s.fontItalic_);
    };
    EXPECT_EQ(flags("0", "-1"), std::pair(false, true));
    EXPECT_EQ(flags(" 2 ", "0"), std::pair(true, false));
    EXPECT_EQ(flags("TRUE", "false"), std::pair(true, false));
}

TEST(SettingsFile, WriteAndReadThroughTheFileSystem)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QString::fromLatin1(settingsfile::kFileName));

    Settings s;
    EXPECT_FALSE(settingsfile::read(path, s));
    EXPECT_EQ(s, Settings{});

    QString error;
    ASSERT_TRUE(settingsfile::write(path, custom(), &error)) << error.toStdString();
    ASSERT_TRUE(settingsfile::read(path, s));
    EXPECT_EQ(s, custom());

    // Overwriting leaves nothing of the longer old file behind.
    ASSERT_TRUE(settingsfile::write(path, Settings{}, &error));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), settingsfile::bytes(Settings{}));
}

// A byte-order mark an editor put in front is not part of the first folder;
// a settings file that is a folder or a pipe is not read, and never waited on.
TEST(SettingsFile, OddFilesAreReadOrRefusedAtOnce)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QString::fromLatin1(settingsfile::kFileName));
    Settings s;
    s.SaveDir = QStringLiteral("x");
    ASSERT_TRUE(settingsfile::parse("\xEF\xBB\xBF" + settingsfile::bytes(Settings{}), s));
    EXPECT_EQ(s, Settings{});
    ASSERT_TRUE(QDir().mkdir(path));
    EXPECT_FALSE(settingsfile::read(path, s));
    ASSERT_TRUE(QDir().rmdir(path) && mkfifo(QFile::encodeName(path).constData(), 0600) == 0);
    EXPECT_FALSE(settingsfile::read(path, s));
}

TEST(SettingsFile, StorableRefusesWhatTheFileCannotCarry)
{
    EXPECT_TRUE(settingsfile::storable(QStringLiteral("C:\\Program Files, x86\\")));
    EXPECT_TRUE(settingsfile::storable(QString::fromUtf8("Égée €")));
    EXPECT_FALSE(settingsfile::storable(QStringLiteral("say \"hi\"")));
    EXPECT_FALSE(settingsfile::storable(QStringLiteral("two\r\nlines")));
    EXPECT_FALSE(settingsfile::storable(QString::fromUtf8("Łódź")));
    EXPECT_FALSE(settingsfile::storable(QString::fromUtf8("\U0001F30D")));
}
