#pragma once

#include "custom/reportdefinition.h"
#include "data/database.h"

#include <QHash>
#include <QMainWindow>

#include <functional>

class QAction;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;
class QTabWidget;
class QToolButton;

namespace tavrel {

class DateField;
class frmMain;

// The custom report designer: fields of one table picked from the catalogue, their widths,
// criteria and totals, the report's options and sort, saved in .rpt files and generated to
// the preview, a text file or an HTML table.
class frmRptSpec : public QMainWindow {
    Q_OBJECT
public:
    explicit frmRptSpec(QWidget* parent = nullptr);
    ~frmRptSpec() override;

    // The report as the window holds it.
    ReportDefinition definition() const;
    QString reportTable() const { return ReportTable; }
    QString reportFile() const { return ReportFile; }
    bool isDirty() const { return Dirty; }

public Q_SLOTS:
    void mnuNew_Click();
    void mnuOpen_Click();
    void mnuSave_Click();
    void mnuSaveAs_Click();
    void mnuExit_Click();
    void cmdAdd_Click();
    void cmdRemove_Click();
    void cmdUp_Click();
    void cmdDown_Click();
    void List2_Click();
    void optReportTo_Click();
    void cmdGenerate_Click();
    void cmdCancel_Click();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Form_Load();
    void ResetReport();
    void WriteReportFile();
    void ShowFieldDetails();
    void showDefinition(const ReportDefinition& report);
    void askToSave();
    void markDirty();
    // Stores what a detail control holds into the shown field's settings; false when the
    // text was refused (its message shown).
    bool storeDetail(QWidget* control);
    // The store of each detail control, and the stores themselves: false when refused.
    void tableDetailStores();
    bool refuse(QWidget* box, const QString& text, bool keepFocus);
    bool storeWidth(FieldSetting& s);
    bool storeNumberBound(QLineEdit* box, QString& bound);
    bool storeDateBound(DateField* field, SerialDate& bound);
    bool storeTimeBound(QLineEdit* box, SerialDate& bound);
    // The yes/no options are a pair of which one or none is chosen.
    bool storeChoice(QRadioButton* chosen, QRadioButton* other, bool& wanted, bool& otherWanted);
    // A menu command acts without the focus leaving the detail being typed: store it first.
    bool storeFocusedDetail();
    FieldSetting* shownSetting();
    void moveReportField(int step);
    void insertAvailable(const QString& text, int specId);
    void buildWindow();
    void createControls();
    QWidget* fieldsPage();
    QWidget* optionsPage();
    void connectControls();
    // Shows lblPageWidth when the shown columns are wider than the page of the chosen
    // orientation, hides it otherwise.
    void showPageWidthWarning();

    Database SpecDb;
    Catalogue catalogue_;
    std::vector<FieldSetting> FieldSettings; // index = catalogue id
    QString ReportTable;
    QString ReportFile;
    bool Dirty = false;
    int CurSpecId = 0;
    int ShownType = 1;
    bool loading_ = false;  // controls are being filled: no edit of the user's
    bool refusing_ = false; // a refusal message is on the screen
    QHash<QWidget*, std::function<bool(FieldSetting&)>> detailStores_;

public:
    // Controls, named as the program's.
    QAction* mnuNew = nullptr;
    QAction* mnuOpen = nullptr;
    QAction* mnuSave = nullptr;
    QAction* mnuSaveAs = nullptr;
    QAction* mnuExit = nullptr;
    QTabWidget* Tab1 = nullptr;
    QListWidget* List1 = nullptr;
    QListWidget* List2 = nullptr;
    QToolButton* cmdAdd = nullptr;
    QToolButton* cmdRemove = nullptr;
    QToolButton* cmdUp = nullptr;
    QToolButton* cmdDown = nullptr;
    QGroupBox* frame1 = nullptr;
    QLineEdit* txtWidth = nullptr;
    QCheckBox* chkHide = nullptr;
    QGroupBox* fraSel[6] = {}; // 1 text, 2 number, 3 date, 4 yes/no, 5 time
    QLineEdit* txtStarting = nullptr;
    QLineEdit* txtGreater = nullptr;
    QLineEdit* txtLess = nullptr;
    QCheckBox* chkTotal = nullptr;
    DateField* dcStartDate = nullptr;
    DateField* dcEndDate = nullptr;
    QRadioButton* optTrue = nullptr;
    QRadioButton* optFalse = nullptr;
    QLineEdit* txtStartTime = nullptr;
    QLineEdit* txtEndTime = nullptr;
    QLineEdit* txtTitle = nullptr;
    QGroupBox* fraFormat = nullptr;
    QRadioButton* optWidth[2] = {}; // 0 inches, 1 centimetres
    QComboBox* cmbPageNum = nullptr;
    QCheckBox* chkDate = nullptr;
    QGroupBox* fraOrient = nullptr;
    QRadioButton* optOrient[2] = {}; // 0 portrait, 1 landscape
    // The option of an orientation: the one place where the array meets PageOrientation.
    QRadioButton* orientOption(PageOrientation orientation) const {
        return optOrient[static_cast<int>(orientation)];
    }
    QLabel* lblPageWidth = nullptr; // the columns are wider than the page
    QGroupBox* Frame2 = nullptr;
    QRadioButton* optReportTo[4] = {}; // 1 screen/printer, 2 text file, 3 web table
    QComboBox* cmbSort1 = nullptr;
    QComboBox* cmbSort2 = nullptr;
    QPushButton* cmdGenerate = nullptr;
    QPushButton* cmdCancel = nullptr;
};

// "Custom &Reports", "&Tasks" (1) or "&Assignments" (2): the designer for that table, or
// the open designer brought forward as it is.
frmRptSpec* mnuCustom_Click(frmMain& main, int index);

// Makes the main window's Custom Reports entries open the designer.
void installCustomReports(frmMain& main);

} // namespace tavrel
