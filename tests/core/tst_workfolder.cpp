// The folder to work in: the choice at a start from the desktop menu and File, Open Folder.

#include "core/frmfolder.h"
#include "core/frmmain.h"
#include "core/programstate.h"
#include "core/startup.h"
#include "core/workfolder.h"
#include "support/scriptedui.h"
#include "support/testenv.h"

#include <QAction>
#include <QCloseEvent>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QTest>

using namespace tavrel;
using namespace tavrel::test;

namespace {

// Records what start-up and shutdown ask of the editor.
class RecordingEditor : public MainEditor {
public:
    QWidget* widget() override { return &widget_; }
    void fillWeekList() override { calls << QStringLiteral("fillWeekList"); }
    void openRecords() override { calls << QStringLiteral("openRecords"); }
    void activate() override { calls << QStringLiteral("activate"); }
    void showFirst() override { calls << QStringLiteral("showFirst"); }
    void resetState() override { calls << QStringLiteral("resetState"); }
    void closeRecords() override { calls << QStringLiteral("closeRecords"); }
    bool isEditing() const override { return editing; }
    bool editing = false;
    QStringList calls;

private:
    QWidget widget_;
};

// Another window of the program, with unsaved edits while `refuse` is set.
class OtherWindow : public QWidget {
public:
    bool refuse = false;

protected:
    void closeEvent(QCloseEvent* event) override { event->setAccepted(!refuse); }
};

// HOME and the current folder pointed at a folder of the test, restored afterwards.
class AtHome {
public:
    AtHome(const QString& home, const QString& current)
        : home_(qgetenv("HOME"))
        , current_(QDir::currentPath()) {
        qputenv("HOME", home.toLocal8Bit());
        QDir::setCurrent(current);
    }
    ~AtHome() {
        qputenv("HOME", home_);
        QDir::setCurrent(current_);
    }

private:
    QByteArray home_;
    QString current_;
};

} // namespace

class TestWorkFolder : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init() {
        resetProgramState();
        useTestLocale();
    }

    void startFolder_data() {
        QTest::addColumn<bool>("startAtHome");
        QTest::addColumn<QString>("named");      // on the command line: "site" or none
        QTest::addColumn<QStringList>("clicks"); // one button per offer shown
        QTest::addColumn<QStringList>("chosen"); // the chooser's answers: "site", "empty", none
        QTest::addColumn<bool>("agree");         // to a new database in an empty folder
        QTest::addColumn<QString>("expected");   // "site", "empty", "home", "elsewhere", none

        const QStringList none;
        QTest::newRow("remembered folder")
            << true << "" << QStringList{"cmdLast"} << none << false << "site";
        QTest::newRow("chosen site")
            << true << "" << QStringList{"cmdChoose"} << QStringList{"site"} << false << "site";
        QTest::newRow("empty folder made a site")
            << true << "" << QStringList{"cmdChoose"} << QStringList{"empty"} << true << "empty";
        QTest::newRow("empty folder refused, then cancel")
            << true << "" << QStringList{"cmdChoose", "cmdCancel"} << QStringList{"empty"} << false
            << "";
        QTest::newRow("new site") << true << "" << QStringList{"cmdNew"} << QStringList{"empty"}
                                  << false << "empty";
        QTest::newRow("folder named") << true << "site" << none << none << false << "site";
        QTest::newRow("started in another folder")
            << false << "" << none << none << false << "elsewhere";
    }
    void startFolder() {
        QFETCH(bool, startAtHome);
        QFETCH(QString, named);
        QFETCH(QStringList, clicks);
        QFETCH(QStringList, chosen);
        QFETCH(bool, agree);
        QFETCH(QString, expected);

        ScriptedUi ui;
        QTemporaryDir home;
        QTemporaryDir elsewhere;
        QTemporaryDir empty;
        TempWorkFolder site(2005, {}, false);
        const QMap<QString, QString> folders = {{"site", QDir(site.path()).absolutePath()},
                                                {"empty", QDir(empty.path()).absolutePath()},
                                                {"home", QDir(home.path()).absolutePath()},
                                                {"elsewhere", elsewhere.path()}};
        rememberWorkFolder(site.path());
        AtHome at(home.path(), startAtHome ? home.path() : elsewhere.path());
        for (const QString& button : clicks)
            ui.onModal([button, &site](QDialog* dialog) {
                auto* offer = qobject_cast<frmFolder*>(dialog);
                QVERIFY(offer);
                // The folder used last is offered by its path.
                QVERIFY(!offer->cmdLast->isHidden());
                QVERIFY(offer->cmdLast->text().contains(QDir::toNativeSeparators(site.path())));
                offer->findChild<QPushButton*>(button)->click();
            });
        for (const QString& answer : chosen)
            ui.answerFolder(answer.isEmpty() ? std::nullopt
                                             : std::optional<QString>(folders.value(answer)));
        ui.answer(agree ? MsgResult::Yes : MsgResult::No);

        const std::optional<QString> folder =
            chooseStartFolder(named.isEmpty() ? QString() : folders.value(named));

        QCOMPARE(folder.value_or(QString()), folders.value(expected));
        QCOMPARE(ui.modalTitles.size(), clicks.size());
        QVERIFY(ui.folderAnswers.isEmpty());
        // A new site is made only where the user asked for one; nothing is left at home.
        const bool made = expected == "empty";
        QCOMPARE(QFile::exists(QDir(empty.path()).filePath("tavrel.mdb")), made);
        QCOMPARE(QFile::exists(QDir(empty.path()).filePath("rptspec.mdb")), made);
        QCOMPARE(QDir(home.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
                 QStringList{});
        QVERIFY(!state().dbMain.isOpen());
        const bool asked = chosen.contains("empty") && clicks.first() == "cmdChoose";
        QCOMPARE(ui.messages.size(), asked ? 1 : 0);
        if (asked)
            QCOMPARE(ui.lastMessage().title, QStringLiteral("New Database"));
    }

    void openFolderAtRunTime() {
        ScriptedUi ui;
        TempWorkFolder first(2005, {}, false);
        TempWorkFolder second(2005, {}, false);
        const QString firstPath = QDir(first.path()).absolutePath();
        const QString secondPath = QDir(second.path()).absolutePath();
        frmMain w;
        auto owned = std::make_unique<RecordingEditor>();
        RecordingEditor* editor = owned.get();
        w.setEditor(std::move(owned));
        w.setWorkFolder(firstPath);
        w.Form_Load();
        QCOMPARE(w.windowTitle(), "Tavrel - " + QDir::toNativeSeparators(firstPath));
        QCOMPARE(lastWorkFolder(), firstPath);

        // Locked while a row is being edited: the entry with Exit, the command itself too.
        w.exitAction()->setEnabled(false);
        QVERIFY(!w.mnuOpenFolder->isEnabled());
        w.exitAction()->setEnabled(true);
        QVERIFY(w.mnuOpenFolder->isEnabled());
        editor->editing = true;
        editor->calls.clear();
        w.mnuOpenFolder_Click();
        QCOMPARE(ui.beeps, 1);
        QVERIFY(ui.modalTitles.isEmpty());
        QCOMPARE(state().AppPath, firstPath + '/');
        QVERIFY(state().dbMain.isOpen());
        editor->editing = false;

        // Another window with unsaved edits keeps the program on this folder.
        OtherWindow other;
        other.refuse = true;
        other.show();
        auto chooseSecond = [&] {
            ui.onModal([](QDialog* dialog) {
                auto* offer = qobject_cast<frmFolder*>(dialog);
                QVERIFY(offer);
                // The folder open now is not offered as the last one.
                QVERIFY(offer->cmdLast->isHidden());
                offer->cmdChoose->click();
            });
            ui.answerFolder(secondPath);
        };
        chooseSecond();
        w.mnuOpenFolder_Click();
        QCOMPARE(state().AppPath, firstPath + '/');
        QVERIFY(editor->calls.isEmpty());

        other.refuse = false;
        chooseSecond();
        w.mnuOpenFolder_Click();
        QVERIFY(!other.isVisible());
        QCOMPARE(editor->calls, (QStringList{"closeRecords", "fillWeekList", "openRecords",
                                             "activate", "showFirst", "resetState"}));
        QCOMPARE(state().AppPath, secondPath + '/');
        QCOMPARE(state().DbPath, secondPath + "/tavrel.mdb");
        QVERIFY(state().dbMain.isOpen());
        QCOMPARE(w.windowTitle(), "Tavrel - " + QDir::toNativeSeparators(secondPath));
        QCOMPARE(lastWorkFolder(), secondPath);
        QVERIFY2(ui.messages.isEmpty(), qPrintable(ui.messageTexts().join('\n')));
        w.Form_Unload();
    }
};

QTEST_MAIN(TestWorkFolder)
#include "tst_workfolder.moc"
