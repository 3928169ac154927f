// The task editor's Custom... rule, driven as a user drives it: the rule chosen in its
// dialog marks and greys the weeks, is saved with the task, and is turned off (after asking)
// by a week clicked or a preset; the weeks saved under the site's holidays; on both backends.
#include "core/programstate.h"
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

// The weeks of 2005 holding 5 January + k × 21 days, by counting days.
QList<int> everyThreeWeeks() {
    QList<int> weeks;
    const QDate week1(2005, 1, 3);
    for (int offset = 0; offset < 52 * 7; ++offset)
        if (QDate(2005, 1, 5).daysTo(week1.addDays(offset)) % 21 == 0 &&
            week1.addDays(offset) >= QDate(2005, 1, 5))
            weeks << offset / 7 + 1;
    return weeks;
}

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
        const QList<int> expected = everyThreeWeeks();
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
            QCOMPARE(d.w<QLabel>("lblRule")->text(), QStringLiteral("Every 3 weeks from 1/5/05"));
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
};

QTEST_MAIN(TestCustomRule)
#include "tst_customrule.moc"
