#pragma once

#include "import/sheet.h"
#include "import/taskimport.h"
#include "import/taskmapping.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QTableView;
class QTableWidget;

namespace tavrel {

class frmMain;
class ImportPreviewModel;

// File, Import Tasks...: the columns of a spreadsheet matched to the fields of a task, and
// a preview of every row with what keeps it out. Nothing is written until Import; then every
// row that can be imported is written in one operation, after a question when some are left
// out. The mapping imported with is remembered in the site's folder for the next import.
class frmImportTasks : public QDialog {
    Q_OBJECT
public:
    // `lookups` are the database's names the rows are checked against; `remembered` the
    // mapping the site's folder keeps (empty when it has none).
    frmImportTasks(const QString& path, Sheet sheet, ImportLookups lookups,
                   const TaskMapping& remembered, QWidget* parent = nullptr);
    ~frmImportTasks() override;

    QSize sizeHint() const override;

    // What the import wrote; written is false until Import wrote the rows.
    ImportWritten written() const { return written_; }
    // The rows as checked with the mapping chosen now.
    const TaskImport& checked() const { return plan_; }
    // The field each column fills now.
    QList<ImportField> columns() const { return columns_; }

    QLabel* lblFile = nullptr;
    QTableWidget* grdColumns = nullptr; // one row per column of the spreadsheet
    QLabel* lblField = nullptr;
    QComboBox* cmbField = nullptr; // the task field of the column chosen in grdColumns
    QCheckBox* chkProblemsOnly = nullptr;
    QTableView* grdPreview = nullptr; // one row per row of the spreadsheet
    QLabel* lblSummary = nullptr;
    QCheckBox* chkAddCodes = nullptr;
    QLabel* lblNewCodes = nullptr;
    QPushButton* cmdImport = nullptr;
    QPushButton* cmdCancel = nullptr;
    QPushButton* cmdHelp = nullptr;

public Q_SLOTS:
    // A column chosen in grdColumns: cmbField shows its field.
    void grdColumns_Click();
    // A field chosen for the column; the rows are checked again.
    void cmbField_Click();
    void chkProblemsOnly_Click();
    void chkAddCodes_Click();
    void cmdImport_Click();
    void cmdCancel_Click();
    void cmdHelp_Click();

private:
    // Checks the rows again with the columns' fields and shows the outcome.
    void recheck();
    void showColumnField(int sheetColumn);
    void showSummary();
    // The sheet's column of a row of grdColumns.
    int sheetColumnAt(int gridRow) const;
    void rememberMapping();

    QString path_;
    Sheet sheet_;
    ImportLookups lookups_;
    TaskMapping remembered_;
    QList<ImportField> columns_;
    TaskImport plan_;
    ImportWritten written_;
    ImportPreviewModel* preview_ = nullptr;
};

// Asks for a spreadsheet and shows frmImportTasks on it modally; a file that cannot be read
// is refused with a message. True when tasks were imported.
bool openImportTasks(QWidget* parent);

// File, Import Tasks...: the main window's task list shows the new tasks afterwards.
void installImportTasks(frmMain& main);

} // namespace tavrel
