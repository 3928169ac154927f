#include "import/frmimporttasks.h"

#include "core/errortrap.h"
#include "core/frmmain.h"
#include "core/programstate.h"
#include "core/recordeditor.h"
#include "core/uiseam.h"
#include "core/windowplacement.h"
#include "text/datetext.h"
#include "text/singlenumber.h"

#include <QAbstractTableModel>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QShortcut>
#include <QSplitter>
#include <QTableView>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace tavrel {

namespace {

const QString Title = QStringLiteral("Import Tasks");
const QString FileFilter =
    QStringLiteral("Spreadsheets (*.csv *.xlsx);;CSV files (*.csv);;Excel workbooks (*.xlsx)");
const QString NotImported = QStringLiteral("(not imported)");

// The columns of grdColumns.
enum ColumnsGrid { LetterColumn, HeadingColumn, FieldColumn, ExampleColumn, ColumnsGridWidth };

// The columns of grdPreview: what keeps a row out comes next to its number, where it is seen
// however many fields follow.
enum PreviewGrid { RowNumberColumn, ProblemsColumn, FirstFieldColumn };
// The widest the problems are shown at first, in characters; the rest shows in the tip.
constexpr int ProblemsChars = 60;

// A row that is left out is shaded, its problems in a dark red.
const QColor LeftOutShade(255, 232, 232);
const QColor ProblemText(150, 0, 0);
// How many rows of the spreadsheet's columns the window shows before it scrolls, and how
// many rows the question before an import names.
constexpr int ColumnRowsShown = 6;
constexpr int RowsNamed = 10;
constexpr int UsualWidth = 980;
constexpr int FieldListChars = 24;
constexpr int UsualHeight = 680;

QString rememberedMappingPath() {
    return QDir(state().AppPath).filePath(RememberedMappingFile);
}

// "rows 5, 9 and 22", naming at most RowsNamed of them.
QString rowList(const QList<int>& lines) {
    QStringList named;
    for (qsizetype i = 0; i < lines.size() && i < RowsNamed; ++i)
        named << QString::number(lines[i]);
    QString text = lines.size() == 1 ? QStringLiteral("row ") : QStringLiteral("rows ");
    if (lines.size() > RowsNamed)
        return text + named.join(QLatin1String(", ")) +
               QStringLiteral(" and %1 more").arg(lines.size() - RowsNamed);
    const QString last = named.takeLast();
    return text + (named.isEmpty()
                       ? last
                       : named.join(QLatin1String(", ")) + QStringLiteral(" and ") + last);
}

} // namespace

// The rows of the spreadsheet as they would become tasks: the row's number, each field a
// column fills (dates and numbers as the program read them, so that a day and month read the
// wrong way round show), and what keeps the row out.
class ImportPreviewModel : public QAbstractTableModel {
public:
    ImportPreviewModel(const Sheet& sheet, QObject* parent)
        : QAbstractTableModel(parent)
        , sheet_(sheet) {
        for (qsizetype i = 0; i < sheet.rows.size(); ++i)
            sheetRowOfLine_.insert(sheet.rows[i].line, int(i));
    }

    void show(const TaskImport& plan, bool addCodes, bool problemsOnly) {
        beginResetModel();
        plan_ = &plan;
        addCodes_ = addCodes;
        fields_.clear();
        for (int c = 0; c < plan.columns.size(); ++c)
            if (plan.columns[c] != ImportField::None)
                fields_.append({plan.columns[c], c});
        shown_.clear();
        for (int i = 0; i < plan.rows.size(); ++i)
            if (!problemsOnly || !plan.rows[i].isImportable(addCodes))
                shown_ << i;
        endResetModel();
    }

    int rowCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : int(shown_.size());
    }
    int columnCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : int(fields_.size()) + 2;
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
            return QAbstractTableModel::headerData(section, orientation, role);
        if (section == RowNumberColumn)
            return QStringLiteral("Row");
        if (section == ProblemsColumn)
            return QStringLiteral("Problems");
        return fieldInfo(fields_[section - FirstFieldColumn].first).label;
    }

    QVariant data(const QModelIndex& index, int role) const override {
        if (!plan_ || !index.isValid())
            return {};
        const ImportRow& row = plan_->rows[shown_[index.row()]];
        const bool leftOut = !row.isImportable(addCodes_);
        const bool problems = index.column() == ProblemsColumn;
        switch (role) {
        case Qt::DisplayRole:
            if (index.column() == RowNumberColumn)
                return wholeNumber(row.line);
            if (problems)
                return row.problemsWith(addCodes_).join(QLatin1String("; "));
            return shownValue(row, fields_[index.column() - FirstFieldColumn]);
        case Qt::ToolTipRole:
            return problems ? QVariant(row.problemsWith(addCodes_).join(u'\n')) : QVariant();
        case Qt::BackgroundRole:
            return leftOut ? QVariant(LeftOutShade) : QVariant();
        case Qt::ForegroundRole:
            return leftOut && problems ? QVariant(ProblemText) : QVariant();
        case Qt::TextAlignmentRole:
            return index.column() == RowNumberColumn
                       ? QVariant(int(NumberBoxAlignment | Qt::AlignVCenter))
                       : QVariant();
        default:
            return {};
        }
    }

private:
    QString shownValue(const ImportRow& row, const QPair<ImportField, int>& field) const {
        const QVariant& value = row.value(field.first);
        switch (fieldInfo(field.first).kind) {
        case ImportKind::Date:
            if (value.typeId() == QMetaType::QDate)
                return shortDate(value.toDate());
            break;
        case ImportKind::Number:
            if (value.isValid())
                return numberText(value.toDouble());
            break;
        case ImportKind::Line:
        case ImportKind::Lines:
        case ImportKind::Location:
        case ImportKind::Type:
            break;
        }
        const SheetCell* cell = sheet_.rows[sheetRowOfLine_.value(row.line)].cell(field.second);
        return cell ? sheetCellText(*cell) : QString();
    }

    const Sheet& sheet_;
    QHash<int, int> sheetRowOfLine_;
    const TaskImport* plan_ = nullptr;
    bool addCodes_ = true;
    QList<QPair<ImportField, int>> fields_; // the fields shown, each with its column
    QList<int> shown_;                      // the plan's rows shown, in order
};

frmImportTasks::frmImportTasks(const QString& path, Sheet sheet, ImportLookups lookups,
                               const TaskMapping& remembered, QWidget* parent)
    : QDialog(parent)
    , path_(path)
    , sheet_(std::move(sheet))
    , lookups_(std::move(lookups))
    , remembered_(remembered) {
    setObjectName(QStringLiteral("frmImportTasks"));
    setWindowTitle(Title);

    lblFile = new QLabel(QStringLiteral("Tasks from %1").arg(QDir::toNativeSeparators(path)), this);
    lblFile->setObjectName(QStringLiteral("lblFile"));
    lblFile->setTextInteractionFlags(Qt::TextSelectableByMouse);

    grdColumns = new QTableWidget(0, ColumnsGridWidth, this);
    grdColumns->setObjectName(QStringLiteral("grdColumns"));
    grdColumns->setHorizontalHeaderLabels({QStringLiteral("Column"), QStringLiteral("Heading"),
                                           QStringLiteral("Task Field"),
                                           QStringLiteral("First Value")});
    grdColumns->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grdColumns->setSelectionBehavior(QAbstractItemView::SelectRows);
    grdColumns->setSelectionMode(QAbstractItemView::SingleSelection);
    grdColumns->verticalHeader()->hide();
    // Rows are chosen whole: Tab goes on to the column's field, as from any other control.
    grdColumns->setTabKeyNavigation(false);
    grdColumns->horizontalHeader()->setStretchLastSection(true);
    cmbField = recordwidgets::codeList(this, "cmbField", FieldListChars);
    cmbField->setEditable(false);
    cmbField->addItem(NotImported, int(ImportField::None));
    for (const ImportFieldInfo& info : importFields())
        cmbField->addItem(info.label, int(info.field));
    lblField = recordwidgets::label(QStringLiteral("Task &field of the chosen column"), cmbField);

    chkProblemsOnly = new QCheckBox(QStringLiteral("Show only the rows &with problems"), this);
    chkProblemsOnly->setObjectName(QStringLiteral("chkProblemsOnly"));
    preview_ = new ImportPreviewModel(sheet_, this);
    grdPreview = new QTableView(this);
    grdPreview->setObjectName(QStringLiteral("grdPreview"));
    grdPreview->setModel(preview_);
    grdPreview->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grdPreview->setSelectionBehavior(QAbstractItemView::SelectRows);
    grdPreview->verticalHeader()->hide();
    grdPreview->setTabKeyNavigation(false);
    grdPreview->horizontalHeader()->setStretchLastSection(true);
    grdPreview->setWordWrap(false);
    lblSummary = new QLabel(this);
    lblSummary->setObjectName(QStringLiteral("lblSummary"));
    lblSummary->setWordWrap(true);
    chkAddCodes =
        new QCheckBox(QStringLiteral("&Add the new locations and types to their lists"), this);
    chkAddCodes->setObjectName(QStringLiteral("chkAddCodes"));
    chkAddCodes->setChecked(true);
    lblNewCodes = new QLabel(this);
    lblNewCodes->setObjectName(QStringLiteral("lblNewCodes"));
    lblNewCodes->setWordWrap(true);

    cmdImport = new QPushButton(QStringLiteral("&Import"), this);
    cmdImport->setObjectName(QStringLiteral("cmdImport"));
    cmdImport->setDefault(true);
    cmdCancel = new QPushButton(QStringLiteral("&Cancel"), this);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    cmdHelp = new QPushButton(QStringLiteral("&Help"), this);
    cmdHelp->setObjectName(QStringLiteral("cmdHelp"));
    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(cmdImport, QDialogButtonBox::AcceptRole);
    buttons->addButton(cmdCancel, QDialogButtonBox::RejectRole);
    buttons->addButton(cmdHelp, QDialogButtonBox::HelpRole);

    // The columns above, the rows below; the user shares the height between them.
    auto* fraColumns = new QGroupBox(QStringLiteral("Columns of the spreadsheet"), this);
    fraColumns->setObjectName(QStringLiteral("fraColumns"));
    auto* columnsLayout = new QVBoxLayout(fraColumns);
    columnsLayout->addWidget(grdColumns, 1);
    auto* fieldRow = new QHBoxLayout;
    fieldRow->addWidget(lblField);
    fieldRow->addWidget(cmbField);
    fieldRow->addStretch(1);
    columnsLayout->addLayout(fieldRow);
    auto* fraRows = new QGroupBox(QStringLiteral("Rows"), this);
    fraRows->setObjectName(QStringLiteral("fraRows"));
    auto* rowsLayout = new QVBoxLayout(fraRows);
    rowsLayout->addWidget(chkProblemsOnly);
    rowsLayout->addWidget(grdPreview, 1);
    rowsLayout->addWidget(lblSummary);
    rowsLayout->addWidget(chkAddCodes);
    rowsLayout->addWidget(lblNewCodes);
    auto* split = new QSplitter(Qt::Vertical, this);
    split->setObjectName(QStringLiteral("splRows"));
    split->setChildrenCollapsible(false);
    split->addWidget(fraColumns);
    split->addWidget(fraRows);
    split->setStretchFactor(1, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lblFile);
    layout->addWidget(split, 1);
    layout->addWidget(buttons);

    // The handlers decide about closing; the box only lays the buttons out.
    connect(cmdImport, &QPushButton::clicked, this,
            [this] { guardedCall([this] { cmdImport_Click(); }); });
    connect(cmdCancel, &QPushButton::clicked, this, &frmImportTasks::cmdCancel_Click);
    connect(cmdHelp, &QPushButton::clicked, this, &frmImportTasks::cmdHelp_Click);
    auto* help = new QShortcut(QKeySequence::HelpContents, this);
    connect(help, &QShortcut::activated, this, &frmImportTasks::cmdHelp_Click);
    connect(grdColumns, &QTableWidget::currentCellChanged, this, &frmImportTasks::grdColumns_Click);
    connect(cmbField, &QComboBox::activated, this, &frmImportTasks::cmbField_Click);
    connect(chkProblemsOnly, &QCheckBox::clicked, this, &frmImportTasks::chkProblemsOnly_Click);
    connect(chkAddCodes, &QCheckBox::clicked, this, &frmImportTasks::chkAddCodes_Click);
    setTabOrder(grdColumns, cmbField);
    setTabOrder(cmbField, chkProblemsOnly);
    setTabOrder(chkProblemsOnly, grdPreview);
    setTabOrder(grdPreview, chkAddCodes);
    setTabOrder(chkAddCodes, cmdImport);

    // The columns: those with a heading, each with the field the remembered mapping or its
    // heading gives it.
    columns_ = mapColumns(sheet_.headings, remembered_, Guess::ByHeading);
    for (int c = 0; c < sheet_.headings.size(); ++c) {
        if (sheet_.headings[c].trimmed().isEmpty())
            continue;
        const int row = grdColumns->rowCount();
        grdColumns->insertRow(row);
        const SheetCell* first = sheet_.rows.isEmpty() ? nullptr : sheet_.rows.first().cell(c);
        const QStringList texts = {columnName(c), sheet_.headings[c].simplified(), QString(),
                                   first ? sheetCellText(*first).simplified() : QString()};
        for (int g = 0; g < ColumnsGridWidth; ++g) {
            auto* item = new QTableWidgetItem(texts[g]);
            item->setData(Qt::UserRole, c);
            grdColumns->setItem(row, g, item);
        }
        showColumnField(c);
    }
    grdColumns->resizeColumnsToContents();
    grdColumns->setMinimumHeight(grdColumns->horizontalHeader()->sizeHint().height() +
                                 ColumnRowsShown *
                                     grdColumns->verticalHeader()->defaultSectionSize() +
                                 2 * grdColumns->frameWidth());
    recheck();
    if (grdColumns->rowCount() > 0)
        grdColumns->setCurrentCell(0, FieldColumn);
    grdColumns->setFocus();
    placeOnScreen(this, QSize(UsualWidth, UsualHeight), parent);
}

frmImportTasks::~frmImportTasks() = default;

QSize frmImportTasks::sizeHint() const {
    return withRoomForTitle(this, QDialog::sizeHint());
}

int frmImportTasks::sheetColumnAt(int gridRow) const {
    const QTableWidgetItem* item = grdColumns->item(gridRow, LetterColumn);
    return item ? item->data(Qt::UserRole).toInt() : -1;
}

void frmImportTasks::showColumnField(int sheetColumn) {
    for (int row = 0; row < grdColumns->rowCount(); ++row)
        if (sheetColumnAt(row) == sheetColumn) {
            const ImportField field = columns_.value(sheetColumn, ImportField::None);
            grdColumns->item(row, FieldColumn)
                ->setText(field == ImportField::None ? NotImported : fieldInfo(field).label);
        }
}

void frmImportTasks::grdColumns_Click() {
    const int column = sheetColumnAt(grdColumns->currentRow());
    cmbField->setEnabled(column >= 0);
    cmbField->setCurrentIndex(cmbField->findData(int(columns_.value(column, ImportField::None))));
}

void frmImportTasks::cmbField_Click() {
    const int column = sheetColumnAt(grdColumns->currentRow());
    if (column < 0)
        return;
    // A field another column fills too is said in the summary, not taken from that column:
    // stepping through the fields with the arrow keys chooses each on the way.
    columns_[column] = ImportField(cmbField->currentData().toInt());
    showColumnField(column);
    recheck();
}

void frmImportTasks::chkProblemsOnly_Click() {
    preview_->show(plan_, chkAddCodes->isChecked(), chkProblemsOnly->isChecked());
}

void frmImportTasks::chkAddCodes_Click() {
    preview_->show(plan_, chkAddCodes->isChecked(), chkProblemsOnly->isChecked());
    showSummary();
}

void frmImportTasks::recheck() {
    plan_ = checkImport(sheet_, columns_, lookups_);
    preview_->show(plan_, chkAddCodes->isChecked(), chkProblemsOnly->isChecked());
    grdPreview->resizeColumnsToContents();
    grdPreview->setColumnWidth(
        ProblemsColumn, std::min(grdPreview->columnWidth(ProblemsColumn),
                                 ProblemsChars * grdPreview->fontMetrics().averageCharWidth()));
    showSummary();
}

void frmImportTasks::showSummary() {
    const bool add = chkAddCodes->isChecked();
    const int all = int(plan_.rows.size());
    const int importable = plan_.importableCount(add);
    QString text;
    if (!plan_.error.isEmpty())
        text = plan_.error;
    else if (importable == all)
        text = QStringLiteral("All %1 rows are imported as new tasks.").arg(all);
    else if (importable == 0)
        text = QStringLiteral("None of the %1 rows can be imported: each has a problem, shown in "
                              "its row. Choose other columns for the fields, or correct the "
                              "spreadsheet and import it again.")
                   .arg(all);
    else
        text = QStringLiteral("%1 of the %2 rows are imported as new tasks. The %3 rows with "
                              "problems are left out: choose other columns for the fields, or "
                              "correct them in the spreadsheet and import them later.")
                   .arg(importable)
                   .arg(all)
                   .arg(all - importable);
    lblSummary->setText(text);
    QStringList names;
    if (!plan_.newLocations.isEmpty())
        names << QStringLiteral("locations %1").arg(plan_.newLocations.join(QLatin1String(", ")));
    if (!plan_.newTypes.isEmpty())
        names << QStringLiteral("types %1").arg(plan_.newTypes.join(QLatin1String(", ")));
    const bool newCodes = !names.isEmpty() && plan_.error.isEmpty();
    chkAddCodes->setVisible(newCodes);
    lblNewCodes->setVisible(newCodes);
    lblNewCodes->setText(
        QStringLiteral("Not in the lists yet: %1.").arg(names.join(QLatin1String("; "))));
    cmdImport->setEnabled(importable > 0);
}

void frmImportTasks::cmdImport_Click() {
    // Another planner may have added tasks or names since the rows were checked.
    {
        ErrorTrap trap;
        ImportLookups fresh;
        if (readImportLookups(state().dbMain, &fresh))
            lookups_ = std::move(fresh);
    }
    recheck();
    const bool add = chkAddCodes->isChecked();
    const int importable = plan_.importableCount(add);
    if (importable == 0)
        return; // the summary says why
    QList<int> leftOut;
    for (const ImportRow& row : std::as_const(plan_.rows))
        if (!row.isImportable(add))
            leftOut << row.line;
    if (!leftOut.isEmpty() &&
        ui().msgBox(QStringLiteral("Import %1 of the %2 rows as new tasks? The %3 with problems "
                                   "are left out.")
                        .arg(importable)
                        .arg(plan_.rows.size())
                        .arg(rowList(leftOut)),
                    MsgButtons::YesNo, MsgIcon::None, Title) != MsgResult::Yes)
        return;
    bool failed = false;
    {
        ErrorTrap noted([&failed](const DbError&) {
            failed = true;
            HandleDataError();
        });
        written_ = writeImport(state().dbMain, plan_, add);
    }
    if (!written_.written) {
        // A failure was reported; the rows stay here for another try.
        if (!failed)
            ui().msgBox(QStringLiteral("The import was stopped. Nothing was imported."),
                        MsgButtons::Ok, MsgIcon::Information, Title);
        return;
    }
    rememberMapping();
    accept();
}

void frmImportTasks::rememberMapping() {
    TaskMapping mapping = remembered_;
    if (!mapping.error.isEmpty())
        return; // a file the user must put right first: it is not written over
    for (int c = 0; c < sheet_.headings.size(); ++c)
        if (!sheet_.headings[c].trimmed().isEmpty())
            mapping.set(sheet_.headings[c], columns_.value(c, ImportField::None));
    QString error;
    if (!writeTaskMapping(rememberedMappingPath(), mapping, &error))
        ui().msgBox(error + QStringLiteral(" The tasks are imported; the next import matches the "
                                           "columns by their headings."),
                    MsgButtons::Ok, MsgIcon::Warning, Title);
}

void frmImportTasks::cmdCancel_Click() {
    reject();
}

void frmImportTasks::cmdHelp_Click() {
    ui().showHelp(this, QStringLiteral("import"));
}

bool openImportTasks(QWidget* parent) {
    const std::optional<QString> path = ui().openFileName(parent, Title, FileFilter);
    if (!path || path->isEmpty())
        return false;
    Sheet sheet = readSheetFile(*path);
    if (sheet.error.isEmpty() && sheet.rows.isEmpty())
        sheet.error = QStringLiteral("%1 has no rows below its headings: there is nothing to "
                                     "import.")
                          .arg(QDir::toNativeSeparators(*path));
    if (!sheet.error.isEmpty()) {
        ui().msgBox(sheet.error, MsgButtons::Ok, MsgIcon::Warning, Title);
        return false;
    }
    ImportLookups lookups;
    {
        ErrorTrap trap;
        if (!readImportLookups(state().dbMain, &lookups))
            return false;
    }
    // The mapping the last import here was done with; one the user broke by hand is said
    // and left alone.
    TaskMapping remembered;
    if (QFileInfo::exists(rememberedMappingPath())) {
        remembered = readTaskMapping(rememberedMappingPath());
        if (!remembered.error.isEmpty())
            ui().msgBox(QStringLiteral("The remembered fields of the columns cannot be used: %1 "
                                       "The columns are matched by their headings instead, and "
                                       "this import's fields are not remembered until the file "
                                       "is put right or removed.")
                            .arg(remembered.error),
                        MsgButtons::Ok, MsgIcon::Warning, Title);
    }
    frmImportTasks dialog(*path, std::move(sheet), std::move(lookups), remembered, parent);
    ui().showModal(&dialog);
    const ImportWritten written = dialog.written();
    if (written.written)
        ui().msgBox(written.summary(), MsgButtons::Ok, MsgIcon::Information, Title);
    return written.written;
}

void installImportTasks(frmMain& main) {
    main.installCommand(main.mnuImportTasks, [&main] {
        if (openImportTasks(&main) && main.editor())
            main.editor()->reloadRecords();
    });
}

} // namespace tavrel
