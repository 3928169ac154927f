#include "reports/frmselassign.h"

#include "core/errortrap.h"
#include "core/programstate.h"
#include "core/uiseam.h"
#include "data/database.h"
#include "reports/workorders.h"
#include "text/datetext.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QEvent>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QTextOption>
#include <QVBoxLayout>

namespace tavrel {

namespace {

// Between the due date and the task name of a list line, as the list has always shown them.
const QString DueDateGap = QStringLiteral("   \t");
constexpr int AssignmentIdRole = Qt::UserRole;
// Room for a due date and a long task name.
constexpr int ListMinimumWidth = 460;
constexpr int ListMinimumHeight = 240;
// A due date as wide as any: day and month with two digits.
const QDate WidestDueDate(2000, 12, 28);

// Draws the lines with one tab stop past the widest due date, so that the task names stand
// in one column whether the date has one digit or two for its day and month.
class DueDateColumns : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyleOptionViewItem item = option;
        initStyleOption(&item, index);
        const QString text = item.text;
        item.text.clear();
        const QWidget* widget = item.widget;
        QStyle* style = widget ? widget->style() : QApplication::style();
        style->drawControl(QStyle::CE_ItemViewItem, &item, painter, widget);

        const QRect area = style->subElementRect(QStyle::SE_ItemViewItemText, &item, widget);
        QTextOption layout(Qt::AlignLeft | Qt::AlignVCenter);
        layout.setWrapMode(QTextOption::NoWrap);
        // Past the blanks too: a tab that ends where the stop is goes on to the next one.
        layout.setTabStopDistance(
            item.fontMetrics.horizontalAdvance(shortDate(WidestDueDate) + DueDateGap.chopped(1)) +
            item.fontMetrics.horizontalAdvance(u' '));
        painter->save();
        painter->setPen(item.palette.color(
            item.state & QStyle::State_Selected ? QPalette::HighlightedText : QPalette::Text));
        painter->drawText(area, text, layout);
        painter->restore();
    }
};

} // namespace

frmSelAssign::frmSelAssign(QWidget* parent)
    : QDialog(parent)
    , List1(new QListWidget(this))
    , cmdOK(new QPushButton(QStringLiteral("&OK"), this))
    , cmdCancel(new QPushButton(QStringLiteral("&Cancel"), this)) {
    setObjectName(QStringLiteral("frmSelAssign"));
    setWindowTitle(QStringLiteral("Select Work Order to Print"));
    List1->setObjectName(QStringLiteral("List1"));
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    List1->setMinimumSize(ListMinimumWidth, ListMinimumHeight);
    List1->setItemDelegate(new DueDateColumns(List1));
    cmdOK->setDefault(true);

    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(cmdOK, QDialogButtonBox::AcceptRole);
    buttons->addButton(cmdCancel, QDialogButtonBox::RejectRole);
    connect(cmdOK, &QPushButton::clicked, this, [this] { guardedCall([this] { cmdOK_Click(); }); });
    connect(cmdCancel, &QPushButton::clicked, this, &frmSelAssign::cmdCancel_Click);
    // A double click chooses the line and prints it, as OK does.
    connect(List1, &QListWidget::itemActivated, this,
            [this] { guardedCall([this] { cmdOK_Click(); }); });

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(List1);
    layout->addWidget(buttons);
}

void frmSelAssign::Form_Activate() {
    ErrorTrap trap;
    const QVariant chosen = List1->currentItem() && List1->currentItem()->isSelected()
                                ? List1->currentItem()->data(AssignmentIdRole)
                                : QVariant();
    Recordset rs = state().dbMain.openRecordset(
        QStringLiteral("select duedate, taskname, assid from assign left join tasks on "
                       "assign.taskid = tasks.taskid where duedate >= ") +
            jetDateLiteral(state().ReportStartDate) + QStringLiteral(" and duedate <= ") +
            jetDateLiteral(state().ReportEndDate) + QStringLiteral(" order by duedate, taskname"),
        RecordsetType::Snapshot);
    if (!rs.isOpen())
        return;
    if (rs.recordCount() == 0) {
        ui().msgBox(QStringLiteral("There are no task assignments between the specified dates."),
                    MsgButtons::Ok, MsgIcon::None, {});
        close();
        return;
    }
    List1->clear();
    rs.moveLast();
    const int count = rs.recordCount();
    rs.moveFirst();
    for (int row = 0; row < count && !rs.isEOF(); ++row, rs.moveNext()) {
        auto* item =
            new QListWidgetItem(shortDate(rs.value(QStringLiteral("duedate")).toDate()) +
                                    DueDateGap + rs.value(QStringLiteral("taskname")).toString(),
                                List1);
        item->setData(AssignmentIdRole, rs.value(QStringLiteral("assid")).toInt());
        if (chosen.isValid() && item->data(AssignmentIdRole) == chosen)
            List1->setCurrentItem(item);
    }
}

void frmSelAssign::cmdOK_Click() {
    const QListWidgetItem* item = List1->currentItem();
    if (!item || !item->isSelected()) {
        ui().msgBox(QStringLiteral("You must select a work order from the list, or click Cancel"),
                    MsgButtons::Ok, MsgIcon::None, {});
        List1->setFocus();
        return;
    }
    qint32 assid = item->data(AssignmentIdRole).toInt();
    PrintWorkOrder(assid, signOff);
    close();
}

void frmSelAssign::cmdCancel_Click() {
    state().Cancelled = true;
    close();
}

void frmSelAssign::changeEvent(QEvent* event) {
    QDialog::changeEvent(event);
    // Later, not inside the event: the refill may show a message box.
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (isVisible())
                    guardedCall([this] { Form_Activate(); });
            },
            Qt::QueuedConnection);
}

} // namespace tavrel
