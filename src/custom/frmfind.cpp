#include "custom/frmfind.h"

#include "core/codelookup.h"
#include "core/errortrap.h"
#include "core/programstate.h"
#include "core/recordeditor.h"
#include "core/uiseam.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include <utility>

namespace tavrel {

using namespace workordercode;

namespace {

// The directions, as optWhere numbers them.
enum Direction { FindFirst = 1, FindPrevious = 2, FindNext = 3, FindLast = 4 };

const QString OperatorCaption = QStringLiteral("&Operator");
const QString SelectValueCaption = QStringLiteral("Select &Value");

void fill(QListWidget* list, const std::initializer_list<std::pair<const char*, int>>& entries) {
    list->clear();
    for (const auto& [text, code] : entries) {
        auto* item = new QListWidgetItem(QString::fromLatin1(text), list);
        item->setData(Qt::UserRole, code);
    }
    list->setCurrentRow(0);
}

// The item data of the entry chosen in `list`; null when none is. The selection says
// which, not the current item: a mouse click makes the item current before it selects it.
QVariant chosenData(const QListWidget* list) {
    const QList<QListWidgetItem*> chosen = list->selectedItems();
    return chosen.isEmpty() ? QVariant() : chosen.first()->data(Qt::UserRole);
}

} // namespace

frmFind::frmFind(QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("frmFind"));
    setWindowTitle(QStringLiteral("Find a Task"));
    auto named = [](auto* widget, const char* name) {
        widget->setObjectName(QString::fromLatin1(name));
        return widget;
    };
    auto list = [&](const char* name) {
        auto* widget = named(new QListWidget, name);
        widget->setSelectionMode(QAbstractItemView::SingleSelection);
        return widget;
    };

    // Created in the order Tab visits them.
    Label1 = named(new QLabel(QStringLiteral("Fi&eld to Find")), "Label1");
    lstField = list("lstField");
    Label1->setBuddy(lstField);
    lblOperator = named(new QLabel(OperatorCaption), "lblOperator");
    lstNum = list("lstNum");
    lstText = list("lstText");
    lstBool = list("lstBool");
    lstSel = list("lstSel");
    lblToFind = named(new QLabel(QStringLiteral("&What to Find")), "lblToFind");
    txtToFind = named(new QLineEdit, "txtToFind");
    lblToFind->setBuddy(txtToFind);
    const char* const directions[] = {nullptr, "FindFi&rst", "Find &Previous", "Find &Next",
                                      "Find &Last"};
    auto* where = new QHBoxLayout;
    for (int i = FindFirst; i <= FindLast; ++i) {
        optWhere[size_t(i)] = new QRadioButton(QString::fromLatin1(directions[i]));
        optWhere[size_t(i)]->setObjectName(QStringLiteral("optWhere%1").arg(i));
        where->addWidget(optWhere[size_t(i)]);
    }
    where->addStretch(1);
    optWhere[FindFirst]->setChecked(true);
    cmdFind = named(new QPushButton(QStringLiteral("&Find")), "cmdFind");
    cmdCancel = named(new QPushButton(QStringLiteral("&Close")), "cmdCancel");
    cmdFind->setDefault(true);
    cmdFind->setAutoDefault(true);
    cmdCancel->setAutoDefault(false);

    // The four lists of the second column share one place; one of them shows.
    auto* grid = new QGridLayout;
    grid->addWidget(Label1, 0, 0);
    grid->addWidget(lstField, 1, 0, 3, 1);
    grid->addWidget(lblOperator, 0, 1);
    for (QListWidget* second : {lstNum, lstText, lstBool, lstSel})
        grid->addWidget(second, 1, 1);
    grid->addWidget(lblToFind, 2, 1);
    grid->addWidget(txtToFind, 3, 1);
    grid->setRowStretch(1, 1);
    grid->setColumnStretch(0, 3);
    grid->setColumnStretch(1, 2);
    grid->addLayout(where, 4, 0, 1, 2);
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(cmdFind);
    buttons->addWidget(cmdCancel);
    buttons->addStretch(1);
    auto* layout = new QHBoxLayout(this);
    layout->addLayout(grid, 1);
    layout->addLayout(buttons);
    showOnly(lstText);

    auto guarded = [this](auto slot) {
        return [this, slot] { guardedCall([this, slot] { (this->*slot)(); }); };
    };
    // A choice is made once the entry is selected: by the mouse the entry becomes current
    // first and selected after, by the keys selected first and current after.
    connect(lstField, &QListWidget::itemSelectionChanged, this, guarded(&frmFind::lstField_Click));
    connect(lstBool, &QListWidget::itemSelectionChanged, this, guarded(&frmFind::lstBool_Click));
    connect(txtToFind, &QLineEdit::textChanged, this, guarded(&frmFind::txtToFind_Change));
    connect(cmdFind, &QPushButton::clicked, this, guarded(&frmFind::cmdFind_Click));
    connect(cmdCancel, &QPushButton::clicked, this, guarded(&frmFind::cmdCancel_Click));
}

frmFind::~frmFind() = default;

void frmFind::setCaller(RecordEditor* editor) {
    caller_ = editor;
}

void frmFind::Form_Load() {
    unload_ = false;
    loadedTable_ = state().FindTable;
    rsSpec.close();
    SpecDb.close();

    // Filling the lists is not the user's choice: it neither moves the caller's recordset
    // nor shows an operator list before they are all filled.
    const QSignalBlocker fieldSignals(lstField);
    const QSignalBlocker boolSignals(lstBool);
    {
        ErrorTrap trap;
        SpecDb = openCatalogue();
        // A damaged catalogue met on the way is repaired, and the list read again from it.
        readCatalogue(SpecDb, [this] {
            lstField->clear();
            if (!SpecDb.isOpen())
                return;
            rsSpec =
                SpecDb.openRecordset(findCatalogueSql(state().FindTable), RecordsetType::Snapshot);
            if (!rsSpec.isOpen() || rsSpec.recordCount() == 0)
                return;
            for (rsSpec.moveFirst(); !rsSpec.isEOF(); rsSpec.moveNext()) {
                auto* item =
                    new QListWidgetItem(rsSpec.value(QStringLiteral("Desc")).toString(), lstField);
                item->setData(Qt::UserRole, rsSpec.value(QStringLiteral("specid")));
            }
            lstField->setCurrentRow(0);
        });
    }
    fill(lstNum, {{"=", 1}, {"not =", 2}, {"<", 3}, {">", 4}, {"<=", 5}, {">=", 6}});
    fill(lstText, {{"Contains", 1}, {"Begins With", 2}, {"Ends With", 3}, {"Equals", 4}});
    fill(lstBool, {{"True", 1}, {"False", 2}});
    ShowOperatorList();
}

bool frmFind::positionOnSelectedField() {
    const QVariant id = chosenData(lstField);
    if (id.isNull() || !rsSpec.isOpen())
        return false;
    ErrorTrap trap;
    rsSpec.findFirst(QStringLiteral("specid = ") + id.toString());
    return !rsSpec.noMatch();
}

CatalogueField frmFind::selectedField() const {
    CatalogueField field;
    field.fieldName = rsSpec.value(QStringLiteral("fieldname")).toString();
    field.type = static_cast<FieldType>(rsSpec.value(QStringLiteral("datatype")).toInt());
    field.memo = rsSpec.value(QStringLiteral("ismemo")).toBool();
    field.fileName = rsSpec.value(QStringLiteral("FileName")).toString();
    field.linkField = rsSpec.value(QStringLiteral("linkfield")).toString();
    return field;
}

void frmFind::showOnly(QListWidget* list) {
    for (QListWidget* second : {lstNum, lstText, lstBool, lstSel})
        second->setVisible(second == list);
    lblOperator->setBuddy(list ? static_cast<QWidget*>(list) : txtToFind);
}

void frmFind::setSearchBoxVisible(bool visible) {
    lblToFind->setVisible(visible);
    txtToFind->setVisible(visible);
}

void frmFind::ShowOperatorList() {
    if (!positionOnSelectedField())
        return;
    const CatalogueField field = selectedField();
    switch (field.type) {
    case FieldType::Text:
        if (field.linkField.isEmpty()) {
            showOnly(lstText);
            setSearchBoxVisible(true);
            lblOperator->setText(OperatorCaption);
            break;
        }
        showOnly(lstSel);
        setSearchBoxVisible(false);
        lstSel->clear();
        {
            ErrorTrap trap;
            Recordset values =
                state().dbMain.openRecordset(linkedValuesSql(field), RecordsetType::Snapshot);
            if (values.isOpen() && values.recordCount() > 0) {
                for (values.moveFirst(); !values.isEOF(); values.moveNext()) {
                    auto* item = new QListWidgetItem(
                        values.value(QStringLiteral("descr")).toString(), lstSel);
                    item->setData(Qt::UserRole, values.value(QStringLiteral("id")));
                }
            }
        }
        lblOperator->setText(SelectValueCaption);
        break;
    case FieldType::Number:
    case FieldType::Date:
        showOnly(lstNum);
        setSearchBoxVisible(true);
        lblOperator->setText(OperatorCaption);
        break;
    case FieldType::YesNo:
        showOnly(lstBool);
        setSearchBoxVisible(false);
        lblOperator->setText(SelectValueCaption);
        break;
    case FieldType::Code:
        // A code is typed or scanned whole: there is nothing to compare it by.
        showOnly(nullptr);
        setSearchBoxVisible(true);
        lblOperator->setText(QString());
        break;
    case FieldType::Time:
        break;
    }
}

void frmFind::lstField_Click() {
    ShowOperatorList();
}

Recordset& frmFind::callerRecordset() {
    // The task editor's recordset when it asked; the assignment editor's otherwise.
    return state().FindCaller == FindEditor::Tasks ? state().rsTasks : state().rsAssign;
}

void frmFind::lstBool_Click() {
    // A new search value: the next Find Next or Find Previous starts from the top.
    Recordset& rs = callerRecordset();
    if (rs.isOpen() && rs.recordCount() > 0)
        rs.moveFirst();
}

void frmFind::txtToFind_Change() {
    lstBool_Click();
}

void frmFind::refuse(FindRefusal refusal) {
    switch (refusal) {
    case FindRefusal::NotNumeric:
        ui().msgBox(QStringLiteral("You must enter a valid number for this field."), MsgButtons::Ok,
                    MsgIcon::None, QStringLiteral("Search Value Not Numeric"));
        txtToFind->setFocus();
        break;
    case FindRefusal::NotDate:
        ui().msgBox(QStringLiteral("You must enter a valid date for this field."), MsgButtons::Ok,
                    MsgIcon::None, QStringLiteral("Search Value Not Date"));
        txtToFind->setFocus();
        break;
    case FindRefusal::NoValueSelected:
        ui().msgBox(QStringLiteral("You must select a value to find from the second list."),
                    MsgButtons::Ok, MsgIcon::None, QStringLiteral("No Value Selected"));
        lstSel->setFocus();
        break;
    case FindRefusal::None:
        break;
    }
}

void frmFind::cmdFind_Click() {
    state().Cancelled = false;
    if (!positionOnSelectedField())
        return;
    const CatalogueField field = selectedField();
    QVariant code;
    switch (field.type) {
    case FieldType::Text:
        code = field.linkField.isEmpty() ? chosenData(lstText) : chosenData(lstSel);
        break;
    case FieldType::Number:
    case FieldType::Date:
        code = chosenData(lstNum);
        break;
    case FieldType::YesNo:
        code = chosenData(lstBool);
        break;
    case FieldType::Time:
    case FieldType::Code:
        break;
    }
    FindCriteria criteria = findCriteria(field, code.toInt(), txtToFind->text(), code);
    qint64 codeAssignment = 0; // the assignment a code names
    bool oneRow = false;       // the criteria name one row: found whatever the direction
    if (criteria.refusal != FindRefusal::None)
        return refuse(criteria.refusal);
    if (field.type == FieldType::Code) {
        // Found by the row the code names, which must be there; a code that names none is
        // said as wherever a code is entered, and the dialog stays open.
        const CodeTarget target = lookUpCode(txtToFind->text());
        if (target.outcome != CodeOutcome::Found) {
            if (target.outcome != CodeOutcome::Unreadable)
                ui().msgBox(codeMessage(target), MsgButtons::Ok, MsgIcon::Information,
                            QStringLiteral("Work Order Code"));
            txtToFind->setFocus();
            txtToFind->selectAll();
            return;
        }
        criteria.criteria =
            codeFindCriteria(field, state().FindTable, target.reading.kind == CodeKind::Task,
                             target.assid, target.taskid);
        codeAssignment = target.reading.kind == CodeKind::Assignment ? target.assid : 0;
        // A code names one row, wherever it is; only a task's assignments are many.
        oneRow = codeAssignment != 0 || state().FindTable != QLatin1String("assign");
    }

    Recordset& rs = callerRecordset();
    {
        ErrorTrap trap;
        if (oneRow)
            rs.findFirst(criteria.criteria);
        else if (optWhere[FindPrevious]->isChecked())
            rs.findPrevious(criteria.criteria);
        else if (optWhere[FindNext]->isChecked())
            rs.findNext(criteria.criteria);
        else if (optWhere[FindLast]->isChecked())
            rs.findLast(criteria.criteria);
        else
            rs.findFirst(criteria.criteria);
    }
    // The assignment of a code is there (it was just read), also where the assignment
    // editor's Show choices leave it out: the editor widens them to show it.
    if (codeAssignment != 0 && rs.noMatch() && state().FindTable == QLatin1String("assign") &&
        caller_)
        caller_->widenToShow(codeAssignment);
    QDialog::accept();
}

void frmFind::cmdCancel_Click() {
    QDialog::reject();
}

void frmFind::reject() {
    cmdCancel_Click();
}

void frmFind::closeEvent(QCloseEvent* event) {
    unload_ = true;
    QDialog::closeEvent(event);
}

void runFindDialog(QWidget* parent) {
    // Created on first use and kept, hidden, between uses; it goes with the window it
    // belongs to, or when the user closes it by its close box.
    static QPointer<frmFind> dialog;
    QWidget* owner = parent ? parent->window() : nullptr;
    if (dialog && dialog->parentWidget() != owner)
        dialog->setParent(owner, dialog->windowFlags());
    if (!dialog) {
        dialog = new frmFind(owner);
        guardedCall([] { dialog->Form_Load(); });
    } else if (dialog->loadedTable() != state().FindTable) {
        guardedCall([] { dialog->Form_Load(); });
    }
    dialog->setCaller(qobject_cast<RecordEditor*>(parent));
    ui().showModal(dialog);
    if (dialog && dialog->unloadRequested())
        delete dialog;
}

void installFindDialog() {
    state().findDialog = runFindDialog;
}

} // namespace tavrel
