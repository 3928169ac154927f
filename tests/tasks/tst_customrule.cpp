// Interval rules driven as a user drives them: in the task editor, the rule chosen in the
// Custom... dialog marks and greys the weeks, is saved with the task, and is turned off (after
// asking) by a week clicked or a preset; the weeks saved under the site's holidays; in the
// assignment editor, a completion that the schedule follows, shown early or late, and its
// undo, which asks. On both backends.
#include "core/programstate.h"
#include "data/schema.h"
#include "support/editorfixture.h"
#include "support/scriptedui.h"
#include "tasks/frmcustomrule.h"

#include <QCheckBox>
#include <QLabel>
#include <QSpinBox>
#include <QtTest>

using namespace tavrel;
using namespace tavrel::test;

namespace {

// 2005: week 1 begins on Monday 3 January. The boiler is marked for weeks 3 and 4.
const QString SiteSql = QStringLiteral(R"(
INSERT INTO employees (empid, lastname, firstname) VALUES (1, 'Lind', 'Ada');
INSERT INTO tasks (taskid, taskname, empid, curyearonly) VALUES (1, 'Boiler', 1, 0);
INSERT INTO taskweeks (taskid, weeid) VALUES (1, 3), (1, 4);
)");

// Every 4 weeks from Wednesday 5 January 2005, following completion: assignments in weeks 1,
// 5 and 9, due on their Mondays.
const QString FollowingSql = QStringLiteral(R"(
INSERT INTO tasks (taskid, taskname, curyearonly, ruleunit, ruleevery, rulestart, rulefollow)
    VALUES (1, 'Filters', 0, 1, 4, '2005-01-05', -1);
INSERT INTO taskweeks (taskid, weeid) VALUES (1, 1), (1, 5), (1, 9);
INSERT INTO assign (taskid, weeid, duedate, completed, comphour, compmin) VALUES
    (1, 1, '2005-01-03', 0, 0, 0), (1, 5, '2005-01-31', 0, 0, 0), (1, 9, '2005-02-28', 0, 0, 0);
)");

} // namespace

class TestCustomRule : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<ScriptedUi> scripted;

private Q_SLOTS:
    void initTestCase() { useTestLocale(); }
    void init() {
        resetProgramState();
        scripted = std::make_unique<ScriptedUi>();
        scripted->setToday(QDate(2005, 1, 1));
    }
    void cleanup() { scripted.reset(); }

    // Every 3 weeks from Wednesday 5 January, typed into the dialog from the keyboard: the
    // dialog lists the weeks, OK marks them greyed with the rule in words, Update stores the
    // rule, the weeks and their assignments. A week clicked asks: No keeps the rule, Yes
    // turns it off and marks the week; a preset asks too.
    void ruleChosenSavedAndTurnedOff() {
        TaskEditorFixture f(SiteSql);
        const QList<int> expected = weeksEvery(21, QDate(2005, 1, 5), 2005);
        QCOMPARE(expected.first(), 1);
        QCOMPARE(expected.size(), 18);
        int listed = -1;
        scripted->onModal([&](QDialog* dialog) {
            WindowDriver d(dialog);
            auto* every = d.w<QSpinBox>("txtEvery");
            QCOMPARE(every->value(), 1);
            QVERIFY(!d.w<QPushButton>("cmdNoRule")->isEnabled());
            every->setFocus();
            every->selectAll();
            QTest::keyClicks(every, "3");
            QTest::keyClick(every, Qt::Key_Tab);
            d.typeInto("dcStart", "1/5/2005");
            listed = d.w<QListWidget>("lstRuleWeeks")->count();
            QCOMPARE(d.w<QLabel>("lblRule")->text(), QStringLiteral("Every 3 weeks from 1/5/2005"));
            QVERIFY(d.click("cmdOK"));
        });
        QVERIFY(f.click("cmdCustom"));
        QCOMPARE(listed, int(expected.size()));
        QCOMPARE(f.markedWeeks(), expected);
        QCOMPARE(f.mode(), "edit");
        QVERIFY(f.w("lblRule")->isVisible());
        QCOMPARE(f.weekList()->item(0)->foreground().color(),
                 f.weekList()->palette().color(QPalette::Disabled, QPalette::Text));
        QVERIFY(f.click("cmdUpdate"));
        QCOMPARE(f.mode(), "browse");
        QCOMPARE(f.rows({"ruleunit", "ruleevery", "rulestart", "rulefollow <> 0"},
                        "from tasks where taskid = 1"),
                 QStringList{"1 3 2005-01-05 0"});
        QCOMPARE(f.storedWeeks(1), expected);
        // Week 4 was marked before and keeps what it had (no assignment): the other weeks of
        // the rule get one each.
        QVERIFY(expected.contains(4));
        QCOMPARE(f.count("assign where taskid = 1"), int(expected.size()) - 1);

        // The rule comes back with the task.
        QVERIFY(f.click("cmdLast"));
        QCOMPARE(f.markedWeeks(), expected);
        QVERIFY(f.w("lblRule")->isVisible());

        // A week clicked: No keeps everything as the rule has it.
        scripted->answer(MsgResult::No);
        f.clickWeek(2);
        QCOMPARE(scripted->messages.last().title, QStringLiteral("Custom Schedule"));
        QCOMPARE(f.markedWeeks(), expected);
        QCOMPARE(f.mode(), "browse");
        // A preset asks the same.
        scripted->answer(MsgResult::No);
        QVERIFY(f.click("cmdWeekly"));
        QCOMPARE(scripted->messages.size(), 2);
        QCOMPARE(f.markedWeeks(), expected);
        // Yes: the rule is off, the week marked, the list no longer grey.
        scripted->answer(MsgResult::Yes);
        f.clickWeek(2);
        QCOMPARE(f.markedWeeks(), (QList<int>{1, 2} + expected.mid(1)));
        QVERIFY(!f.w("lblRule")->isVisible());
        QVERIFY(f.click("cmdUpdate"));
        QCOMPARE(f.rows({"ruleunit", "ruleevery", "rulestart"}, "from tasks where taskid = 1"),
                 QStringList{"- - -"});
        QCOMPARE(f.storedWeeks(1), (QList<int>{1, 2} + expected.mid(1)));
    }

    // Clone of a task scheduled by a rule: the copy keeps the rule and the rule's weeks.
    void cloneKeepsTheRule() {
        TaskEditorFixture f(QStringLiteral(
            "INSERT INTO tasks (taskid, taskname, curyearonly, ruleunit, ruleevery, rulestart, "
            "rulefollow) VALUES (1, 'Boiler', 0, 3, 6, '2005-02-10', 0);"
            "INSERT INTO taskweeks (taskid, weeid) VALUES (1, 6), (1, 32);"));
        QCOMPARE(f.markedWeeks(), (QList<int>{6, 32}));
        QVERIFY(f.click("cmdClone"));
        QCOMPARE(
            f.rows({"taskid", "ruleunit", "ruleevery", "rulestart"}, "from tasks order by taskid"),
            (QStringList{"1 3 6 2005-02-10", "2 3 6 2005-02-10"}));
        QCOMPARE(f.storedWeeks(2), (QList<int>{6, 32}));
        QCOMPARE(f.markedWeeks(), (QList<int>{6, 32}));
        QVERIFY(f.w("lblRule")->isVisible());
    }

    // Under a holiday on Monday 25 July 2005 (week 30), marking the week gives an assignment
    // due on Tuesday 26 July; unmarking it finds that one by its week and removes it.
    void weeksSavedUnderAHoliday() {
        scripted->setToday(QDate(2005, 7, 3));
        TaskEditorFixture f(SiteSql +
                            QStringLiteral("INSERT INTO holidays (holname, holkind, holdate) "
                                           "VALUES ('Closed', 0, '2005-07-25');"));
        f.clickWeek(30);
        QVERIFY(f.click("cmdUpdate"));
        QCOMPARE(f.rows({"weeid", "duedate"}, "from assign where taskid = 1"),
                 QStringList{"30 2005-07-26"});
        f.clickWeek(30);
        QVERIFY(f.click("cmdUpdate"));
        QCOMPARE(f.count("assign where taskid = 1"), 0);
        QCOMPARE(f.storedWeeks(1), (QList<int>{3, 4}));
    }

    // Week 1's assignment completed nine days late, by mouse and keyboard: the editor says so,
    // and Update moves the later ones to four, eight ... weeks after 12 January and says when
    // the next is due. Unticking Completed asks; Yes moves them back to the rule's weeks.
    void assignmentEditorFollowsCompletion() {
        AssignEditorFixture e(FollowingSql);
        const QList<QDate> mondays = weekMondays(2005);
        for (int week = 1; week <= 52; ++week)
            state().WeekDates[week] = mondays.at(week - 1);
        QCOMPARE(e.text("txtDueDate"), QStringLiteral("1/3/2005"));
        // On its box, at the left: the control is as wide as its column.
        const auto clickCompleted = [&e] {
            QWidget* box = e.w("chkCompleted");
            QTest::mouseClick(box, Qt::LeftButton, Qt::NoModifier, QPoint(6, box->height() / 2));
        };
        clickCompleted();
        QVERIFY(e.w<QCheckBox>("chkCompleted")->isChecked());
        e.typeAndLeave("dcCompDate", "1/12/05");
        QCOMPARE(e.w<QLabel>("lblTimeliness")->text(), QStringLiteral("Completed 9 days late"));
        e.typeAndLeave("dcCompDate", "1/1/05");
        QCOMPARE(e.w<QLabel>("lblTimeliness")->text(), QStringLiteral("Completed 2 days early"));
        e.typeAndLeave("dcCompDate", "1/12/05");
        QVERIFY(e.click("cmdUpdate"));
        QCOMPARE(e.mode(), "browse");
        QCOMPARE(scripted->messageTexts(),
                 QStringList{"The task's next assignment is now due on 2/7/2005."});
        const auto openWeeks = [&e] {
            QList<int> weeks;
            for (const QVariant& week :
                 e.folder.column("select weeid from assign where completed = 0 order by duedate"))
                weeks << week.toInt();
            return weeks;
        };
        const QList<int> followed = weeksEvery(28, QDate(2005, 1, 12), 2005, 1);
        QCOMPARE(followed.first(), 6);
        QCOMPARE(openWeeks(), followed);
        QCOMPARE(e.text("txtDueDate"), QStringLiteral("1/3/2005"));

        // Undone: asked, and No moves nothing.
        clickCompleted();
        QCOMPARE(e.w<QLabel>("lblTimeliness")->text(), QString());
        scripted->answer(MsgResult::No);
        QVERIFY(e.click("cmdUpdate"));
        QCOMPARE(scripted->messages.last().title, QStringLiteral("Completion Undone"));
        QCOMPARE(openWeeks(), QList<int>{1} + followed);
        // Done and undone again, Yes this time: back to the rule's own weeks.
        clickCompleted();
        e.typeAndLeave("dcCompDate", "1/12/05");
        QVERIFY(e.click("cmdUpdate"));
        clickCompleted();
        scripted->answer(MsgResult::Yes);
        QVERIFY(e.click("cmdUpdate"));
        QCOMPARE(openWeeks(), weeksEvery(28, QDate(2005, 1, 5), 2005));
    }
};

QTEST_MAIN(TestCustomRule)
#include "tst_customrule.moc"
