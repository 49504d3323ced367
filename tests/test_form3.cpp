// The Configuration dialog through its real buttons, with the platform's
// file, font and colour dialogs answered in advance.

#include "dialogs/form3.h"
#include "guitest.h"

#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>

using guitest::StartFolder;
using guitest::whenModal;

class TestForm3 : public QObject {
    Q_OBJECT

private slots:
    void folderChoosersTakeTheFolderOfTheConfirmedFile()
    {
        StartFolder start;
        const QString before = QDir::currentPath();
        Form3 dialog;
        dialog.Text1->setText(QStringLiteral("old"));

        CommonDialog::setNextSaveFile(start.path("sub/velmora.js"));
        QTest::mouseClick(dialog.Command1, Qt::LeftButton);
        QCOMPARE(dialog.Text1->text(), QDir::toNativeSeparators(start.path("sub")));
        QCOMPARE(CommonDialog::lastRequest().title, QStringLiteral("Select target folder"));
        QCOMPARE(CommonDialog::lastRequest().proposedName, QStringLiteral("velmora.js"));

        CommonDialog::setNextSaveFile(std::nullopt);
        QTest::mouseClick(dialog.Command1, Qt::LeftButton);
        QCOMPARE(dialog.Text1->text(), QDir::toNativeSeparators(start.path("sub")));

        // The root keeps its separator.
        CommonDialog::setNextSaveFile(QDir::rootPath() + QStringLiteral("worldwind.exe"));
        QTest::mouseClick(dialog.Command2, Qt::LeftButton);
        QCOMPARE(dialog.Text2->text(), QDir::toNativeSeparators(QDir::rootPath()));
        QCOMPARE(CommonDialog::lastRequest().proposedName, QStringLiteral("worldwind.exe"));
        QCOMPARE(QDir::currentPath(), before);
    }

    // Chosen or typed, a folder without World Wind is named as such beside its box.
    void worldWindFolderWithoutWorldWindIsNoted()
    {
        StartFolder start;
        for (const char* sub : {"ww/add-ons/earth", "half/config/earth"})
            QDir(start.path()).mkpath(QString::fromLatin1(sub));
        Form3 dialog;
        const struct {
            const char* chosen;  // the file confirmed in the folder chooser
            bool noted;
        } cases[] = {{"ww/worldwind.exe", false}, {"half/worldwind.exe", false}, {"gone/worldwind.exe", true}};
        for (const auto& c : cases) {
            CommonDialog::setNextSaveFile(start.path(QString::fromLatin1(c.chosen)));
            QTest::mouseClick(dialog.Command2, Qt::LeftButton);
            QCOMPARE(dialog.Label5->text().isEmpty(), !c.noted);
            QCOMPARE(dialog.Label5->toolTip().isEmpty(), !c.noted);
        }
        QCOMPARE(dialog.Label5->text(), QStringLiteral("No World Wind in this folder"));
        QVERIFY(dialog.Label5->toolTip().startsWith(QStringLiteral("The World Wind folder")));
        dialog.Text2->setText(QDir::toNativeSeparators(start.path("ww")));
        QCOMPARE(dialog.Label5->text(), QString());
        QCOMPARE(MessageBox::history(), QStringList{});
    }

    void fontAndColourApplyOnlyWhenConfirmed()
    {
        StartFolder start;
        Form3 dialog;
        dialog.setPreviewFont(QStringLiteral("Liberation Serif"), 8.25, 0x0000FF, false, true);
        QCOMPARE(dialog.previewColor(), 255);

        CommonDialog::setNextFont(std::nullopt);
        QTest::mouseClick(dialog.Command5, Qt::LeftButton);
        QCOMPARE(CommonDialog::lastRequest().initialFont.pointSizeF(), 8.25);
        QCOMPARE(dialog.Label2->font().family(), QStringLiteral("Liberation Serif"));
        QVERIFY(dialog.Label2->font().italic());

        QFont chosen(QStringLiteral("Liberation Sans"));
        chosen.setPointSizeF(12);
        chosen.setBold(true);
        CommonDialog::setNextFont(chosen);
        QTest::mouseClick(dialog.Command5, Qt::LeftButton);
        QCOMPARE(dialog.Label2->font().family(), QStringLiteral("Liberation Sans"));
        QCOMPARE(dialog.Label2->font().pointSizeF(), 12.0);
        QVERIFY(dialog.Label2->font().bold());
        QVERIFY(!dialog.Label2->font().italic());

        CommonDialog::setNextColor(std::nullopt);
        QTest::mouseClick(dialog.Command6, Qt::LeftButton);
        QCOMPARE(dialog.previewColor(), 255);
        CommonDialog::setNextColor(QColor(0x12, 0x34, 0x56));
        QTest::mouseClick(dialog.Command6, Qt::LeftButton);
        QCOMPARE(dialog.previewColor(), 0x12 + 256 * 0x34 + 65536 * 0x56);
    }

    void onlyOkConfirmsAShowing()
    {
        StartFolder start;
        QPointer<Form3> dialog = new Form3;
        dialog->Text1->setText(QStringLiteral("."));  // as its caller fills it

        whenModal([&](QWidget*) { QTest::mouseClick(dialog->Command3, Qt::LeftButton); });
        dialog->showModal();
        QVERIFY(dialog->okBouton);

        whenModal([&](QWidget*) { QTest::mouseClick(dialog->Command4, Qt::LeftButton); });
        dialog->showModal();
        QVERIFY(!dialog->okBouton);

        whenModal([&](QWidget*) { QTest::mouseClick(dialog->Command3, Qt::LeftButton); });
        dialog->showModal();
        whenModal([&](QWidget* modal) { QTest::keyClick(modal, Qt::Key_Escape); });
        dialog->showModal();
        QVERIFY(!dialog->okBouton);

        // The close box answers no and destroys the dialog once it is over.
        whenModal([&](QWidget*) { dialog->close(); });
        dialog->showModal();
        QVERIFY(!dialog->okBouton);
        QTRY_VERIFY(dialog.isNull());
    }

    void refusesWhatTheSettingsFileCannotHold()
    {
        StartFolder start;
        Form3 dialog;
        dialog.Text1->setText(QStringLiteral("."));
        bool stillOpen = false;
        whenModal([&](QWidget*) {
            dialog.Text2->setText(QStringLiteral("C:\\\"ww\""));
            QTest::mouseClick(dialog.Command3, Qt::LeftButton);
            stillOpen = dialog.isVisible();
            dialog.Text2->setText(QStringLiteral("C:\\\u0416"));
            QTest::mouseClick(dialog.Command3, Qt::LeftButton);
            dialog.Text2->setText(QStringLiteral("C:\\ww, the new one"));
            QTest::mouseClick(dialog.Command3, Qt::LeftButton);
        });
        dialog.showModal();
        QVERIFY(stillOpen);
        QVERIFY(dialog.okBouton);
        QCOMPARE(MessageBox::history().size(), 2);
        QVERIFY(MessageBox::history().at(0).contains(QStringLiteral("World Wind folder")));
        QVERIFY(MessageBox::history().at(0).contains(QStringLiteral("double quote")));
        QVERIFY(MessageBox::history().at(1).contains(QStringLiteral("cannot hold")));
    }
};

QTEST_MAIN(TestForm3)
#include "test_form3.moc"
