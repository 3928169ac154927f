// Maintain, Working Days and Holidays... as a user drives it: the working days toggled, a
// holiday of each kind added through the holiday editor with its dates checked in the
// preview, edited, deleted; OK stores it all (read back by the program and by plain SQL),
// Cancel nothing; holidays imported from an iCalendar file written by Python's icalendar,
// a file that is none refused; a save the database refuses loses nothing in the window.

#include "calendar/frmholiday.h"
#include "calendar/frmholidays.h"
#include "core/frmmain.h"
#include "core/programstate.h"
#include "core/sitecalendar.h"
#include "data/schema.h"
#include "support/otherprogram.h"
#include "support/scriptedui.h"
#include "support/tablefiles.h"
#include "support/testenv.h"
#include "support/windowdriver.h"

#include <QCheckBox>
#include <QDir>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QProcess>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTreeWidget>
#include <QtTest>

using namespace tavrel;
using namespace tavrel::test;

namespace {

const QDate Today(2026, 6, 17);

// The rows of the holiday list as the user reads them: name, then the rule in words.
QStringList rowTexts(const QTreeWidget* list) {
    QStringList rows;
    for (int row = 0; row < list->topLevelItemCount(); ++row)
        rows << list->topLevelItem(row)->text(0) + QStringLiteral(" | ") +
                    list->topLevelItem(row)->text(1);
    return rows;
}

// Clicks (twice: double-clicks) the row `name` of the holiday list where the list shows it.
void clickRow(QTreeWidget* list, const QString& name, bool twice = false) {
    const QList<QTreeWidgetItem*> found = list->findItems(name, Qt::MatchExactly, 0);
    if (found.size() != 1)
        qFatal("no single holiday %s", qPrintable(name));
    QApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    list->scrollToItem(found.first());
    const QPoint at = list->visualItemRect(found.first()).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    if (twice)
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, at);
}

QStringList previewTexts(QDialog* holiday) {
    return entryTexts(childOf<QListWidget>(holiday, QStringLiteral("lstPreview")));
}

QString longDate(int year, int month, int day) {
    return QLocale().toString(QDate(year, month, day), QLocale::LongFormat);
}

// A window comes forward and takes the keyboard, as a modal window does when it opens or
// when the one it covered closes.
void activate(QWidget* window) {
    bringForward(window);
    QApplication::setActiveWindow(window);
}

// A key where the focus is, as the user presses it.
void key(int k, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key(k), modifiers);
}

// Types over the whole text of the field the focus is in (after Ctrl+A, as a user does).
void typeOver(const QString& text) {
    key(Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(QApplication::focusWidget(), text);
}

// Alt+`accessKey` and then `text` typed into the control it reached, or over its whole text.
void typeAt(int accessKey, const QString& text) {
    key(accessKey, Qt::AltModifier);
    QTest::keyClicks(QApplication::focusWidget(), text);
}
void typeOverAt(int accessKey, const QString& text) {
    key(accessKey, Qt::AltModifier);
    typeOver(text);
}

// The holiday editor as the user fills it for Boxing Day (26 December every year, the month
// chosen by its first letter) and closes it by Enter.
void addBoxingDay(QDialog* shown) {
    activate(shown);
    typeAt(Qt::Key_N, QStringLiteral("Boxing Day"));
    typeAt(Qt::Key_K, QStringLiteral("S"));
    typeAt(Qt::Key_M, QStringLiteral("D"));
    typeOverAt(Qt::Key_Y, QStringLiteral("26"));
    key(Qt::Key_N, Qt::AltModifier);
    key(Qt::Key_Return);
}

// The access keys of a window's buttons and labels, in the order of its controls.
QString accessKeys(const QWidget* window) {
    QString keys;
    static const QRegularExpression marked(QStringLiteral("&([^&])"));
    const auto note = [&keys](const QString& text) {
        const QRegularExpressionMatch m = marked.match(text);
        if (m.hasMatch())
            keys += m.captured(1).toLower();
    };
    for (const QAbstractButton* b : window->findChildren<QAbstractButton*>())
        note(b->text());
    for (const QLabel* l : window->findChildren<QLabel*>())
        note(l->text());
    return keys;
}

bool unique(const QString& keys) {
    return QSet<QChar>(keys.begin(), keys.end()).size() == keys.size();
}

// The holidays stored in the site, read by the program, each as "name | rule in words".
QStringList storedHolidays() {
    QStringList rows;
    const SiteCalendar stored = loadSiteCalendar(state().dbMain);
    for (const HolidayRule& rule : stored.holidays())
        rows << rule.name + QStringLiteral(" | ") + describeHoliday(rule);
    return rows;
}

HolidayRule yearly(const QString& name, int month, int day) {
    HolidayRule rule;
    rule.name = name;
    rule.kind = HolidayKind::YearlyDate;
    rule.month = month;
    rule.day = day;
    return rule;
}

// Writes the calendar file `what` of writeholidays.py; false when it could not.
bool writeCalendar(const QString& path, const QString& what) {
    const QString python = pythonWith(QStringLiteral("icalendar"));
    if (python.isEmpty())
        return false;
    QProcess writer;
    writer.start(python, {QStringLiteral(TAVREL_WRITEHOLIDAYS_SCRIPT), path, what});
    return writer.waitForFinished(60000) && writer.exitCode() == 0;
}

// Opens the window from the Maintain menu as main.cpp installs it, runs `driver` in it and
// gives the dialog's result.
int openWindow(const std::function<void(frmHolidays*)>& driver, ScriptedUi& ui) {
    frmMain main;
    installHolidays(main);
    int result = -1;
    ui.onModal([&](QDialog* shown) {
        auto* window = qobject_cast<frmHolidays*>(shown);
        QVERIFY(window);
        activate(window);
        driver(window);
        result = window->isVisible() ? -1 : window->result();
    });
    main.mnuHolidays->trigger();
    return result;
}

} // namespace

class TstHolidays : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { useTestLocale(); }
    void init() { resetProgramState(); }

    // The menu entry is there, disabled, until installed; its access key is its own in the
    // Maintain menu, and the window's days take keys the other controls leave free.
    void menuAndAccessKeys() {
        ScriptedUi ui;
        TempWorkFolder folder(2026);
        frmMain main;
        QVERIFY(!main.mnuHolidays->isEnabled());
        QCOMPARE(main.mnuHolidays->text(), QStringLiteral("Working &Days and Holidays..."));
        QString menuKeys;
        for (const QAction* entry : main.mnuMaintainMenu->actions()) {
            const qsizetype at = entry->text().indexOf(QLatin1Char('&'));
            if (at >= 0)
                menuKeys += entry->text().at(at + 1).toLower();
        }
        QVERIFY2(unique(menuKeys), qPrintable(menuKeys));
        installHolidays(main);
        QVERIFY(main.mnuHolidays->isEnabled());

        frmHolidays window;
        QCOMPARE(window.windowTitle(), QStringLiteral("Working Days and Holidays"));
        QStringList days;
        for (int day = 1; day <= 7; ++day)
            days << window.chkWorkday[day]->text();
        QCOMPARE(days, (QStringList{"&Monday", "&Tuesday", "&Wednesday", "Th&ursday", "&Friday",
                                    "&Saturday", "Su&nday"}));
        QVERIFY2(unique(accessKeys(&window)), qPrintable(accessKeys(&window)));
        frmHoliday holiday;
        QVERIFY2(unique(accessKeys(&holiday)), qPrintable(accessKeys(&holiday)));
    }

    // The whole path: working days toggled by mouse and access key; a holiday of each kind
    // added, its dates in the preview; a refusal; edits by double-click and by Enter; a
    // delete asked about; OK stores; the window shows the stored calendar again.
    void editAndStore() {
        ScriptedUi ui;
        ui.setToday(Today);
        TempWorkFolder folder(2026);
        state().CurYear = 2026;

        // Name typed, kind chosen by typing its first letters, then `fill`; the preview is
        // checked by `check`, and OK pressed by Enter in the name.
        const auto addHoliday = [&ui](const QString& name, const QString& kind,
                                      std::function<void()> fill,
                                      std::function<void(QDialog*)> check) {
            ui.onModal([=, &ui](QDialog* shown) {
                activate(shown);
                QCOMPARE(shown->windowTitle(), QStringLiteral("Holiday"));
                key(Qt::Key_N, Qt::AltModifier);
                QTest::keyClicks(QApplication::focusWidget(), name);
                key(Qt::Key_K, Qt::AltModifier);
                QTest::keyClicks(QApplication::focusWidget(), kind);
                QCOMPARE(childOf<QComboBox>(shown, QStringLiteral("cmbKind"))
                             ->currentText()
                             .left(kind.size()),
                         kind);
                fill();
                check(shown);
                key(Qt::Key_N, Qt::AltModifier);
                key(Qt::Key_Return);
                QVERIFY(!shown->isVisible());
            });
        };

        const int result = openWindow(
            [&](frmHolidays* w) {
                WindowDriver d(w);
                QCOMPARE(rowTexts(w->lstHolidays), QStringList{});
                QVERIFY(!w->cmdEdit->isEnabled());
                // Monday to Friday by default.
                for (int day = 1; day <= 7; ++day)
                    QCOMPARE(w->chkWorkday[day]->isChecked(), day <= 5);
                QTest::mouseClick(w->chkWorkday[1], Qt::LeftButton);
                key(Qt::Key_S, Qt::AltModifier);
                QTRY_VERIFY(w->chkWorkday[6]->isChecked());
                QVERIFY(!w->chkWorkday[1]->isChecked());

                // OK without a name is refused, the editor stays open.
                ui.onModal([&ui](QDialog* shown) {
                    activate(shown);
                    QVERIFY(childOf<QPushButton>(shown, QStringLiteral("cmdOK"))->isDefault());
                    QTest::mouseClick(childOf<QPushButton>(shown, QStringLiteral("cmdOK")),
                                      Qt::LeftButton);
                    QVERIFY(shown->isVisible());
                    QCOMPARE(ui.messageTexts(),
                             QStringList{QStringLiteral("Enter a name for the holiday.")});
                    key(Qt::Key_Escape);
                    QVERIFY(!shown->isVisible());
                });
                QVERIFY(d.click("cmdAdd"));
                QCOMPARE(rowTexts(w->lstHolidays), QStringList{});
                activate(w);

                // One date: the preview has it in its year, none in the next ones.
                addHoliday(
                    QStringLiteral("Founders Day"), QStringLiteral("O"),
                    [] { typeAt(Qt::Key_T, QStringLiteral("7/3/2026")); },
                    [](QDialog* shown) {
                        const QStringList preview = previewTexts(shown);
                        QCOMPARE(preview.size(), PreviewYears);
                        QCOMPARE(preview[0], longDate(2026, 7, 3));
                        QCOMPARE(preview[1], QStringLiteral("No date in 2027"));
                        QCOMPARE(preview[9], QStringLiteral("No date in 2035"));
                    });
                key(Qt::Key_A, Qt::AltModifier);
                QTRY_COMPARE(w->lstHolidays->topLevelItemCount(), 1);
                activate(w);

                // Same day every year: month and day; a preview year typed shows its dates.
                addHoliday(
                    QStringLiteral("Christmas Day"), QStringLiteral("S"),
                    [] {
                        typeAt(Qt::Key_M, QStringLiteral("D"));
                        typeOverAt(Qt::Key_Y, QStringLiteral("25"));
                    },
                    [](QDialog* shown) {
                        QCOMPARE(previewTexts(shown).mid(0, 2),
                                 (QStringList{longDate(2026, 12, 25), longDate(2027, 12, 25)}));
                        QCOMPARE(previewTexts(shown)[0],
                                 QStringLiteral("Friday, December 25, 2026"));
                    });
                QVERIFY(d.click("cmdAdd"));
                activate(w);

                // The 4th Thursday of November: Thanksgiving, 26 November 2026.
                addHoliday(
                    QStringLiteral("Thanksgiving"), QStringLiteral("N"),
                    [] {
                        typeAt(Qt::Key_W, QStringLiteral("4"));
                        typeAt(Qt::Key_D, QStringLiteral("Th"));
                        typeAt(Qt::Key_M, QStringLiteral("N"));
                    },
                    [](QDialog* shown) {
                        QCOMPARE(previewTexts(shown).mid(0, 3),
                                 (QStringList{QStringLiteral("Thursday, November 26, 2026"),
                                              QStringLiteral("Thursday, November 25, 2027"),
                                              QStringLiteral("Thursday, November 23, 2028")}));
                    });
                QVERIFY(d.click("cmdAdd"));
                activate(w);

                // The last Monday of May, by Tab from the kind: the hidden fields are skipped.
                addHoliday(
                    QStringLiteral("Memorial Day"), QStringLiteral("L"),
                    [] {
                        key(Qt::Key_Tab);
                        QCOMPARE(QApplication::focusWidget()->objectName(),
                                 QStringLiteral("cmbWeekday"));
                        QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("M"));
                        key(Qt::Key_Tab);
                        QCOMPARE(QApplication::focusWidget()->objectName(),
                                 QStringLiteral("cmbMonth"));
                        QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("May"));
                    },
                    [](QDialog* shown) {
                        QCOMPARE(previewTexts(shown).mid(0, 2),
                                 (QStringList{QStringLiteral("Monday, May 25, 2026"),
                                              QStringLiteral("Monday, May 31, 2027")}));
                    });
                QVERIFY(d.click("cmdAdd"));
                activate(w);

                // Easter Monday, previewed from 2027: 29 March 2027, 17 April 2028.
                addHoliday(
                    QStringLiteral("Easter Monday"), QStringLiteral("D"),
                    [] {
                        typeOverAt(Qt::Key_E, QStringLiteral("1"));
                        typeOverAt(Qt::Key_P, QStringLiteral("2027"));
                    },
                    [](QDialog* shown) {
                        QCOMPARE(previewTexts(shown).mid(0, 2),
                                 (QStringList{QStringLiteral("Monday, March 29, 2027"),
                                              QStringLiteral("Monday, April 17, 2028")}));
                        QCOMPARE(previewTexts(shown).size(), PreviewYears);
                    });
                QVERIFY(d.click("cmdAdd"));
                activate(w);

                QCOMPARE(rowTexts(w->lstHolidays),
                         (QStringList{"Founders Day | July 3, 2026",
                                      "Christmas Day | December 25 every year",
                                      "Thanksgiving | 4th Thursday of November",
                                      "Memorial Day | Last Monday of May",
                                      "Easter Monday | Easter Sunday + 1 day"}));

                // Double-click: the editor shows the holiday; the date changed.
                ui.onModal([](QDialog* shown) {
                    activate(shown);
                    QCOMPARE(childOf<QLineEdit>(shown, QStringLiteral("txtName"))->text(),
                             QStringLiteral("Founders Day"));
                    typeOverAt(Qt::Key_T, QStringLiteral("7/6/2026"));
                    QCOMPARE(previewTexts(shown)[0], QStringLiteral("Monday, July 6, 2026"));
                    QTest::mouseClick(childOf<QPushButton>(shown, QStringLiteral("cmdOK")),
                                      Qt::LeftButton);
                });
                clickRow(w->lstHolidays, QStringLiteral("Founders Day"), true);
                activate(w);
                QCOMPARE(rowTexts(w->lstHolidays)[0],
                         QStringLiteral("Founders Day | July 6, 2026"));

                // Enter on a row edits it: the kind and fields as stored; Escape changes
                // nothing, and Enter does not reach OK.
                ui.onModal([](QDialog* shown) {
                    activate(shown);
                    QCOMPARE(childOf<QLineEdit>(shown, QStringLiteral("txtName"))->text(),
                             QStringLiteral("Memorial Day"));
                    QCOMPARE(childOf<QComboBox>(shown, QStringLiteral("cmbKind"))->currentText(),
                             QStringLiteral("Last weekday of a month"));
                    QVERIFY(!childOf<QWidget>(shown, QStringLiteral("cmbNth"))->isVisible());
                    typeAt(Qt::Key_M, QStringLiteral("J"));
                    key(Qt::Key_Escape);
                });
                clickRow(w->lstHolidays, QStringLiteral("Memorial Day"));
                key(Qt::Key_Return);
                activate(w);
                QVERIFY(w->isVisible());
                QCOMPARE(rowTexts(w->lstHolidays)[3],
                         QStringLiteral("Memorial Day | Last Monday of May"));

                // Delete asks, naming the holiday: No keeps it, Yes deletes it.
                clickRow(w->lstHolidays, QStringLiteral("Thanksgiving"));
                ui.clearRecord();
                ui.answer(MsgResult::No);
                d.press(Qt::Key_L, Qt::AltModifier);
                QCOMPARE(w->lstHolidays->topLevelItemCount(), 5);
                QCOMPARE(
                    ui.messageTexts(),
                    QStringList{"Delete the holiday Thanksgiving (4th Thursday of November)?"});
                ui.answer(MsgResult::Yes);
                QVERIFY(d.click("cmdDelete"));
                QCOMPARE(w->lstHolidays->topLevelItemCount(), 4);
                QVERIFY(w->lstHolidays->findItems("Thanksgiving", Qt::MatchExactly).isEmpty());

                QVERIFY(d.click("cmdOK"));
            },
            ui);
        QCOMPARE(result, int(QDialog::Accepted));

        const QStringList stored{
            "Founders Day | July 6, 2026", "Christmas Day | December 25 every year",
            "Memorial Day | Last Monday of May", "Easter Monday | Easter Sunday + 1 day"};
        QCOMPARE(storedHolidays(), stored);
        const std::array<bool, 7> working{false, true, true, true, true, true, false};
        QCOMPARE(loadSiteCalendar(state().dbMain).workingWeekdays(), working);
        QCOMPARE(folder.scalar("select workdays from settings").toString(),
                 QStringLiteral("0111110"));
        QCOMPARE(folder.texts("select holname from holidays order by holid"),
                 (QStringList{"Founders Day", "Christmas Day", "Memorial Day", "Easter Monday"}));
        QCOMPARE(folder.texts("select holkind from holidays order by holid"),
                 (QStringList{"0", "1", "3", "4"}));
        QCOMPARE(folder.texts("select holmonth || '/' || holday || ' ' || holweekday || ' ' || "
                              "holoffset from holidays where holkind <> 0 order by holid"),
                 (QStringList{"12/25 1 0", "5/1 1 0", "1/1 1 1"}));

        // Opened again, the window shows what is stored; closed unchanged, nothing asked.
        ui.clearRecord();
        const int again = openWindow(
            [](frmHolidays* w) {
                QCOMPARE(rowTexts(w->lstHolidays),
                         (QStringList{"Founders Day | July 6, 2026",
                                      "Christmas Day | December 25 every year",
                                      "Memorial Day | Last Monday of May",
                                      "Easter Monday | Easter Sunday + 1 day"}));
                for (int day = 1; day <= 7; ++day)
                    QCOMPARE(w->chkWorkday[day]->isChecked(), day >= 2 && day <= 6);
                key(Qt::Key_Escape);
            },
            ui);
        QCOMPARE(again, int(QDialog::Rejected));
        QCOMPARE(ui.messageTexts(), QStringList{});
    }

    // Cancel stores nothing: with changes it asks first (No keeps the window open), without
    // changes it closes at once; a change undone by hand is no change.
    void cancelStoresNothing() {
        ScriptedUi ui;
        ui.setToday(Today);
        TempWorkFolder folder(2026);
        state().CurYear = 2026;
        const QString before = OtherProgram(folder.dbPath()).contents();
        const int result = openWindow(
            [&ui](frmHolidays* w) {
                WindowDriver d(w);
                ui.onModal(addBoxingDay);
                QVERIFY(d.click("cmdAdd"));
                activate(w);
                QTest::mouseClick(w->chkWorkday[7], Qt::LeftButton);
                QVERIFY(w->chkWorkday[7]->isChecked());
                ui.answer(MsgResult::No);
                key(Qt::Key_Escape);
                QVERIFY(w->isVisible());
                QCOMPARE(ui.messageTexts(),
                         QStringList{"Discard your changes to the working days and holidays?"});
                QVERIFY(ui.lastMessage().defaultButton == MsgResult::No);
                QCOMPARE(rowTexts(w->lstHolidays),
                         QStringList{"Boxing Day | December 26 every year"});
                ui.answer(MsgResult::Yes);
                QVERIFY(d.click("cmdCancel"));
            },
            ui);
        QCOMPARE(result, int(QDialog::Rejected));
        QCOMPARE(OtherProgram(folder.dbPath()).contents(), before);
        QCOMPARE(storedHolidays(), QStringList{});

        ui.clearRecord();
        const int unchanged = openWindow(
            [](frmHolidays* w) {
                QTest::mouseClick(w->chkWorkday[3], Qt::LeftButton);
                QTest::mouseClick(w->chkWorkday[3], Qt::LeftButton);
                QVERIFY(WindowDriver(w).click("cmdCancel"));
            },
            ui);
        QCOMPARE(unchanged, int(QDialog::Rejected));
        QCOMPARE(ui.messageTexts(), QStringList{});
        QCOMPARE(OtherProgram(folder.dbPath()).contents(), before);
    }

    // Monday made a day off on Wednesday 17 June 2026: OK counts the open assignments still
    // to come that fall due on another day now and asks. Cancel keeps the window open and
    // stores nothing; Yes moves them with the calendar. The past, the completed and one
    // moved by hand to another day stay where they are.
    void okMovesTheComingAssignments() {
        ScriptedUi ui;
        ui.setToday(Today);
        TempWorkFolder folder(
            2026, QStringLiteral("INSERT INTO tasks (taskid, taskname) VALUES (1, 'Pump');"
                                 "INSERT INTO assign (assid, taskid, weeid, duedate, "
                                 "completed) VALUES (1, 1, 2, '2026-01-12', 0), (2, 1, "
                                 "26, '2026-07-01', 0), (3, 1, 29, '2026-07-20', 0), "
                                 "(4, 1, 29, '2026-07-20', -1), (5, 1, 30, "
                                 "'2026-07-27', 0);"));
        state().CurYear = 2026;
        const QList<QDate> mondays = weekMondays(2026);
        for (int week = 1; week <= 52; ++week)
            state().WeekDates[week] = mondays.at(week - 1);
        const auto dueDates = [&folder] {
            return folder.texts("SELECT duedate FROM assign ORDER BY assid");
        };
        const QStringList before = dueDates();
        const int result = openWindow(
            [&](frmHolidays* w) {
                QTest::mouseClick(w->chkWorkday[1], Qt::LeftButton, Qt::NoModifier,
                                  QPoint(6, w->chkWorkday[1]->height() / 2));
                QVERIFY(!w->chkWorkday[1]->isChecked());
                ui.answer(MsgResult::Cancel);
                QVERIFY(WindowDriver(w).click("cmdOK"));
                QVERIFY(w->isVisible());
                QCOMPARE(ui.messageTexts(),
                         QStringList{"2 open assignments from today on fall on a different day "
                                     "under these working days and holidays. Do you wish to "
                                     "move them to their week's new due date?"});
                QCOMPARE(dueDates(), before);
                QCOMPARE(folder.scalar("SELECT workdays FROM settings"), QVariant());
                ui.answer(MsgResult::Yes);
                QVERIFY(WindowDriver(w).click("cmdOK"));
            },
            ui);
        QCOMPARE(result, int(QDialog::Accepted));
        QCOMPARE(folder.scalar("SELECT workdays FROM settings").toString(), "0111100");
        QCOMPARE(dueDates(), (QStringList{"2026-01-12", "2026-07-01", "2026-07-21", "2026-07-20",
                                          "2026-07-28"}));
    }

    // Holidays from an iCalendar file as Python's icalendar writes one: one-day events (one
    // over two days), yearly by day of the month, by the 3rd and 4th weekday and the last
    // one; every second year as its dates for eleven years; Christmas, already a holiday of
    // the site, not added again. The count told, the rows listed, stored only by OK. A file
    // that is no calendar, or one without events, is refused and changes nothing.
    void importIcs() {
        ScriptedUi ui;
        ui.setToday(Today);
        TempWorkFolder folder(2026);
        state().CurYear = 2026;
        SiteCalendar site;
        site.setHolidays({yearly(QStringLiteral("Christmas"), 12, 25)});
        QVERIFY(saveSiteCalendar(state().dbMain, site));

        const QString good = folder.file(QStringLiteral("holidays.ics"));
        const QString empty = folder.file(QStringLiteral("empty.ics"));
        if (!writeCalendar(good, QStringLiteral("holidays")) ||
            !writeCalendar(empty, QStringLiteral("empty")))
            QFAIL("no python3 with icalendar (Debian python3-icalendar) to write the files");
        const QString broken = folder.file(QStringLiteral("broken.ics"));
        QVERIFY(writeFile(broken, "Name,Date\nChristmas,2026-12-25\n"));
        const QString before = OtherProgram(folder.dbPath()).contents();

        const QStringList imported{"Founders Day | July 3, 2026",
                                   "Fête du site | September 14, 2026",
                                   "Plant shutdown | December 28, 2026",
                                   "Plant shutdown | December 29, 2026",
                                   "Martin Luther King Jr. Day | 3rd Monday of January",
                                   "Memorial Day | Last Monday of May",
                                   "Thanksgiving | 4th Thursday of November",
                                   "Audit day | August 14, 2026",
                                   "Audit day | August 14, 2028",
                                   "Audit day | August 14, 2030",
                                   "Audit day | August 14, 2032",
                                   "Audit day | August 14, 2034",
                                   "Audit day | August 14, 2036"};
        const int result = openWindow(
            [&](frmHolidays* w) {
                WindowDriver d(w);
                const QStringList shown = rowTexts(w->lstHolidays);
                QCOMPARE(shown, QStringList{"Christmas | December 25 every year"});

                // Not a calendar; no events; the dialog cancelled: nothing changes.
                ui.answerFile(broken);
                QVERIFY(d.click("cmdImport"));
                QCOMPARE(ui.messageTexts(),
                         QStringList{QStringLiteral("The file %1 is not an iCalendar file.")
                                         .arg(QDir::toNativeSeparators(broken))});
                ui.clearRecord();
                ui.answerFile(empty);
                d.press(Qt::Key_I, Qt::AltModifier);
                QCOMPARE(ui.messageTexts(),
                         QStringList{QStringLiteral("The file %1 holds no events with a date.")
                                         .arg(QDir::toNativeSeparators(empty))});
                ui.clearRecord();
                ui.answerFile(std::nullopt);
                QVERIFY(d.click("cmdImport"));
                QCOMPARE(ui.messageTexts(), QStringList{});
                QCOMPARE(rowTexts(w->lstHolidays), shown);

                ui.answerFile(good);
                QVERIFY(d.click("cmdImport"));
                QCOMPARE(ui.filesAsked.last().title, QStringLiteral("Import Holidays"));
                QCOMPARE(ui.messageTexts(),
                         QStringList{QStringLiteral("13 holidays added from %1. 2 were already "
                                                    "in the list.")
                                         .arg(QDir::toNativeSeparators(good))});
                QCOMPARE(rowTexts(w->lstHolidays), shown + imported);
                QCOMPARE(w->lstHolidays->currentItem()->text(0), QStringLiteral("Founders Day"));
                // Unsaved until OK.
                QCOMPARE(OtherProgram(folder.dbPath()).contents(), before);

                // The same file again adds nothing.
                ui.clearRecord();
                ui.answerFile(good);
                QVERIFY(d.click("cmdImport"));
                QCOMPARE(ui.messageTexts(),
                         QStringList{QStringLiteral("0 holidays added from %1. 15 were already "
                                                    "in the list.")
                                         .arg(QDir::toNativeSeparators(good))});
                QCOMPARE(rowTexts(w->lstHolidays), shown + imported);
                QVERIFY(d.click("cmdOK"));
            },
            ui);
        QCOMPARE(result, int(QDialog::Accepted));
        QCOMPARE(storedHolidays(), QStringList{"Christmas | December 25 every year"} + imported);
        const QList<HolidayRule> rules = loadSiteCalendar(state().dbMain).holidays();
        QCOMPARE(rules[5].kind, HolidayKind::NthWeekday);
        QCOMPARE((QList<int>{rules[5].nth, rules[5].weekday, rules[5].month}),
                 (QList<int>{3, 1, 1}));
        QCOMPARE(rules[6].kind, HolidayKind::LastWeekday);
        QCOMPARE(holidayDate(rules[6], 2027).value_or(QDate()), QDate(2027, 5, 31));
        QCOMPARE(holidayDate(rules[7], 2026).value_or(QDate()), QDate(2026, 11, 26));
        QCOMPARE(folder.texts("select holkind from holidays order by holid").join(QString()),
                 QStringLiteral("10000232000000"));
    }

    // A save the database refuses half-way (after the old holidays were deleted) is shown
    // through the trap and undone whole; the window stays open with every change in it, and
    // OK stores them once the database takes them.
    void failedSaveLosesNothing() {
        ScriptedUi ui;
        ui.setToday(Today);
        TempWorkFolder folder(2026);
        state().CurYear = 2026;
        SiteCalendar site;
        site.setHolidays({yearly(QStringLiteral("Christmas"), 12, 25)});
        QVERIFY(saveSiteCalendar(state().dbMain, site));
        OtherProgram other(folder.dbPath());
        if (folder.onServer())
            QCOMPARE(other.exec("CREATE FUNCTION fault() RETURNS trigger LANGUAGE plpgsql AS $$ "
                                "BEGIN IF NEW.holname = 'Boxing Day' THEN RAISE EXCEPTION "
                                "'power failure'; END IF; RETURN NEW; END $$; CREATE TRIGGER "
                                "fault BEFORE INSERT ON holidays FOR EACH ROW EXECUTE FUNCTION "
                                "fault()"),
                     0);
        else
            QCOMPARE(other.exec("CREATE TRIGGER fault BEFORE INSERT ON holidays WHEN "
                                "new.holname = 'Boxing Day' BEGIN SELECT RAISE(ABORT, "
                                "'power failure'); END"),
                     0);
        const QString before = other.contents();

        const int result = openWindow(
            [&](frmHolidays* w) {
                WindowDriver d(w);
                ui.onModal(addBoxingDay);
                QVERIFY(d.click("cmdAdd"));
                activate(w);
                QTest::mouseClick(w->chkWorkday[5], Qt::LeftButton);
                const QStringList rows = rowTexts(w->lstHolidays);
                QCOMPARE(rows, (QStringList{"Christmas | December 25 every year",
                                            "Boxing Day | December 26 every year"}));

                QVERIFY(d.click("cmdOK"));
                QVERIFY(w->isVisible());
                QCOMPARE(ui.messages.size(), 1);
                QVERIFY2(ui.messages[0].text.contains(QStringLiteral("power failure")) ||
                             ui.messages[0].details.contains(QStringLiteral("power failure")),
                         qPrintable(ui.messages[0].text));
                QCOMPARE(rowTexts(w->lstHolidays), rows);
                QVERIFY(!w->chkWorkday[5]->isChecked());
                QCOMPARE(other.contents(), before);

                // The database takes it now: the same OK stores everything.
                QCOMPARE(other.exec(folder.onServer() ? "DROP TRIGGER fault ON holidays"
                                                      : "DROP TRIGGER fault"),
                         0);
                ui.clearRecord();
                QVERIFY(d.click("cmdOK"));
                QCOMPARE(ui.messageTexts(), QStringList{});
            },
            ui);
        QCOMPARE(result, int(QDialog::Accepted));
        QCOMPARE(storedHolidays(), (QStringList{"Christmas | December 25 every year",
                                                "Boxing Day | December 26 every year"}));
        QCOMPARE(folder.scalar("select workdays from settings").toString(),
                 QStringLiteral("1111000"));
    }
};

QTEST_MAIN(TstHolidays)
#include "tst_holidays.moc"
